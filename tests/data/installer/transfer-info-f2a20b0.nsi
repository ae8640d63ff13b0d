; The office's installer: transfer-info.exe and dbftool.exe under Program Files, a Start-menu
; shortcut, an uninstaller. The INI files in the Windows directory and the tracking tables are
; never touched: neither the installer nor the uninstaller writes or deletes them. The stand-in
; appraisal program is not shipped here (it comes in the separate test zip).
;
; makensis -DVERSION=5.1.2 -DBIN=<build>/src -DICON=<...>.ico -DOUTFILE=<...>.exe transfer-info.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Transfer Info"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TransferInfo"

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

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Transfer Info"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN}/transfer-info.exe"
  File "${BIN}/dbftool.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\transfer-info.exe" "" \
                 "$INSTDIR\transfer-info.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\transfer-info.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\transfer-info.exe"
  Delete "$INSTDIR\dbftool.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: anything the office put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
