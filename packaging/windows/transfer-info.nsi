; The office's installer: transfer-info.exe (the window), transfer-info.com (its console twin) and
; dbftool.exe under Program Files, a Start-menu shortcut, an uninstaller and one Add/Remove
; Programs entry. The INI files in the Windows directory (and the users' VirtualStore copies of
; them), the tracking tables and their journal TRANSFER.LOG are never touched: neither the
; installer nor the uninstaller writes or deletes them. The stand-in appraisal program is not
; shipped here (it comes in the separate test zip).
;
; For an administrator, 64-bit Windows only (a 64-bit installer). Silent: /S; the folder: /D=DIR
; (last on the command line, unquoted). Exit codes: 0 installed (or removed); 1 cancelled by the
; person at the screen; 2 not run as an administrator; 3 Transfer Info is running and would not
; close; 4 a file could not be written (nothing of this version was written then, unless the
; disk failed part-way). An install over an earlier one replaces the programs; an install with
; /D= in another folder removes the earlier copy first, so there is one copy and one entry.
;
; makensis -DVERSION=5.1.2 -DPUBLISHER=<maintainer> -DHOMEPAGE=<url> -DBIN=<build>/src
;          -DICON=<...>.ico -DOUTFILE=<...>.exe transfer-info.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include WinMessages.nsh

!define PRODUCT "Transfer Info"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TransferInfo"
; The main window's caption: a running copy is asked to close through it.
!define WINDOW_CAPTION "Transfer Info  Version ${VERSION} (Y2K)"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
; The version resource carries no copyright line.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Ends the installer or uninstaller with a message (logged only, when silent) and an exit code.
!macro Fail CODE TEXT
  DetailPrint "${TEXT}"
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel ${CODE}
  Quit
!macroend

; $R1 := FILE when $R1 is still "" and FILE is there but cannot be opened for writing.
!macro FirstInUse FILE
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "${FILE}"
    ClearErrors
    FileOpen $R2 "${FILE}" a
    ${If} ${Errors}
      StrCpy $R1 "${FILE}"
    ${Else}
      FileClose $R2
    ${EndIf}
  ${EndIf}
!macroend

; Both for the installer and the uninstaller (un.): see that the programs in FOLDER may be
; replaced. A running Transfer Info window is asked to close as the Exit button closes it (it
; stays while a transfer runs); a program file still in use, or one that cannot be written,
; ends with exit code 3 for the programs, 4 for any other file.
!macro CheckFolderFunction UN
Function ${UN}CheckFolder
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R3 0
  ${Do}
    FindWindow $R1 "#32770" "${WINDOW_CAPTION}"
    ${IfThen} $R1 == 0 ${|} ${ExitDo} ${|}
    SendMessage $R1 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    Sleep 500
    IntOp $R3 $R3 + 1
  ${LoopUntil} $R3 >= 10
  ; A closing program lets go of its file a moment after its window.
  StrCpy $R3 0
  ${Do}
    StrCpy $R1 ""
    !insertmacro FirstInUse "$R0\transfer-info.exe"
    !insertmacro FirstInUse "$R0\transfer-info.com"
    !insertmacro FirstInUse "$R0\dbftool.exe"
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    Sleep 500
    IntOp $R3 $R3 + 1
  ${LoopUntil} $R3 >= 10
  ${If} $R1 != ""
    ${If} $R1 == "$R0\transfer-info.exe"
    ${OrIf} $R1 == "$R0\transfer-info.com"
      !insertmacro Fail 3 "Transfer Info is running ($R1) and did not close (a transfer may be running). Close it in every session on this computer, then run this again."
    ${EndIf}
    !insertmacro Fail 4 "$R1 cannot be written (it is in use, read-only or not a file). Nothing was changed."
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro CheckFolderFunction ""
!insertmacro CheckFolderFunction "un."

Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    !insertmacro Fail 2 "Installing ${PRODUCT} needs an administrator: run this as one."
  ${EndIf}
FunctionEnd

Section "Transfer Info"
  SetShellVarContext all
  Push $INSTDIR
  Call CheckFolder
  ; An earlier install in another folder goes first, so that the office has one copy.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\uninstall.exe"
    Push $R0
    Call CheckFolder
    DetailPrint "Removing the earlier copy in $R0"
    ExecWait '"$R0\uninstall.exe" /S _?=$R0' $R1
    ${If} $R1 != 0
      !insertmacro Fail 4 "The earlier copy in $R0 could not be removed (exit code $R1)."
    ${EndIf}
    ; Run in place, the uninstaller could not delete itself.
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ClearErrors
  File "${BIN}/transfer-info.exe"
  File "${BIN}/transfer-info.com"
  File "${BIN}/dbftool.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    !insertmacro Fail 4 "The programs could not all be written to $INSTDIR."
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\transfer-info.exe" "" \
                 "$INSTDIR\transfer-info.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\transfer-info.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    !insertmacro Fail 2 "Removing ${PRODUCT} needs an administrator: run this as one."
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Push $INSTDIR
  Call un.CheckFolder
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\transfer-info.exe"
  Delete "$INSTDIR\transfer-info.com"
  Delete "$INSTDIR\dbftool.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: anything the office put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
