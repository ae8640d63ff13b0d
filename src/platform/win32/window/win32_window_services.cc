#include "platform/win32/window/win32_window_services.h"

#include "platform/win32/windows_api.h"
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/runtime_error.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_virtual_store.h"

namespace xfr {

namespace {

// Pictures larger than this are not icons; they are refused rather than read into memory.
constexpr std::streamoff kMaxPictureBytes = 16 * 1024 * 1024;

// The box as a task dialog, with the details in its expanded part: the same text, title, icon
// and buttons (IDYES and so on, as MessageBoxA answers). 0 when no task dialog could be shown
// (a common-controls library older than version 6 has none).
// A box to take a picture of: shown with its details, saved to `path` once drawn, then closed
// with `answer` (a button's identifier).
struct BoxPicture {
  std::string path;
  int answer;
};

// A text control of the box shows "&" as it stands, not as the underline of an access key.
BOOL CALLBACK ShowAmpersands(HWND child, LPARAM) {
  char name[16] = {};
  ::GetClassNameA(child, name, sizeof name);
  const LONG style = ::GetWindowLongA(child, GWL_STYLE);
  if (::lstrcmpiA(name, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
    ::SetWindowLongA(child, GWL_STYLE, style | SS_NOPREFIX);
    ::InvalidateRect(child, nullptr, TRUE);
  }
  return TRUE;
}

HRESULT CALLBACK OnBoxEvent(HWND hwnd, UINT notification, WPARAM since, LPARAM, LONG_PTR data) {
  // The values in the details are the tables' ("Chris & Jordan Buyer"). Windows' task dialog
  // draws its texts as they stand; Wine's uses static controls, which would take the "&" for an
  // access key and show " Jordan" underlined.
  if (notification == TDN_CREATED) ::EnumChildWindows(hwnd, ShowAmpersands, 0);
  auto* picture = reinterpret_cast<BoxPicture*>(data);
  if (picture != nullptr && notification == TDN_TIMER && since >= 500) {  // ms since it was made
    SaveWindowPicture(hwnd, picture->path);
    ::SendMessageA(hwnd, TDM_CLICK_BUTTON, picture->answer, 0);
  }
  return S_OK;
}

int TaskDialogBox(HWND owner, std::string_view text, std::string_view title, Buttons buttons,
                  std::string_view details, BoxPicture* picture) {
  using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  HMODULE comctl = ::LoadLibraryA("comctl32.dll");
  if (comctl == nullptr) return 0;
  auto task_dialog = reinterpret_cast<TaskDialogIndirectFn>(
      reinterpret_cast<void*>(::GetProcAddress(comctl, "TaskDialogIndirect")));
  const std::wstring t = Utf8ToWide(text), c = Utf8ToWide(title), d = Utf8ToWide(details);
  static const TASKDIALOG_BUTTON kAbortRetryIgnore[] = {
      {IDABORT, L"&Abort"}, {IDRETRY, L"&Retry"}, {IDIGNORE, L"&Ignore"}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_USE_HICON_MAIN | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = c.c_str();
  config.pszContent = t.c_str();
  config.pszExpandedInformation = d.c_str();
  // The toggle's own words, with room after them: Wine's task dialog sizes the toggle for its
  // text alone and draws the arrow in front, cutting "See details" to "See". No-break blanks
  // are measured, and on Windows only lengthen the toggle's blank end (one between the words
  // keeps them on one line).
  static const std::wstring see = L"See\u00A0details " + std::wstring(12, L'\u00A0'),
                            hide = L"Hide\u00A0details " + std::wstring(12, L'\u00A0');
  config.pszCollapsedControlText = see.c_str();
  config.pszExpandedControlText = hide.c_str();
  config.pfCallback = OnBoxEvent;
  if (picture != nullptr) {
    config.dwFlags |= TDF_EXPANDED_BY_DEFAULT | TDF_CALLBACK_TIMER;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(picture);
  }
  switch (buttons) {
    case Buttons::kOk:
      config.dwCommonButtons = TDCBF_OK_BUTTON;
      config.hMainIcon = ::LoadIconA(nullptr, IDI_INFORMATION);
      config.dwFlags |= TDF_ALLOW_DIALOG_CANCELLATION;  // Esc and the close button, as OK
      break;
    case Buttons::kYesNo:
      config.dwCommonButtons = TDCBF_YES_BUTTON | TDCBF_NO_BUTTON;
      config.nDefaultButton = IDYES;
      config.hMainIcon = ::LoadIconA(nullptr, IDI_QUESTION);
      break;
    case Buttons::kAbortRetryIgnore:
      config.cButtons = 3;
      config.pButtons = kAbortRetryIgnore;
      config.nDefaultButton = IDABORT;
      config.hMainIcon = ::LoadIconA(nullptr, IDI_ERROR);
      break;
  }
  int pressed = 0;
  if (task_dialog == nullptr || FAILED(task_dialog(&config, &pressed, nullptr, nullptr))) {
    pressed = 0;
  }
  ::FreeLibrary(comctl);
  return pressed;
}

}  // namespace

Answer Win32WindowServices::MessageBox(std::string_view text, std::string_view title,
                                       Buttons buttons, std::string_view details) {
  if (before_box_) before_box_();
  const std::optional<Answer> preset = Preset(text, title, buttons);
  std::optional<BoxPicture> picture;
  if (!box_picture_.empty() && !details.empty()) {
    // Shown for its picture whatever the answer; taken once.
    const Answer answer = preset.value_or(Answer::kNo);
    picture = BoxPicture{std::exchange(box_picture_, ""), answer == Answer::kYes  ? IDYES
                                                          : answer == Answer::kNo ? IDNO
                                                                                  : IDOK};
  } else if (preset) {
    return *preset;
  }
  UINT type = MB_OK | MB_ICONINFORMATION;
  if (buttons == Buttons::kYesNo) type = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1;
  if (buttons == Buttons::kAbortRetryIgnore) type = MB_ABORTRETRYIGNORE | MB_ICONERROR;
  // The hourglass would stand over the box; the normal pointer while it is up.
  if (busy_) ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
  int pressed = 0;
  if (!details.empty()) {
    pressed = TaskDialogBox(static_cast<HWND>(owner_), text, title, buttons, details,
                            picture ? &*picture : nullptr);
  }
  if (pressed == 0) {  // no details, or no task dialog: the plain box
    const std::string t = Utf8ToCp1252(text), c = Utf8ToCp1252(title);
    pressed = ::MessageBoxA(static_cast<HWND>(owner_), t.c_str(), c.c_str(), type | MB_TASKMODAL);
  }
  if (busy_) ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  switch (pressed) {
    case IDYES:
      return Answer::kYes;
    case IDNO:
      return Answer::kNo;
    case IDABORT:
      return Answer::kAbort;
    case IDRETRY:
      return Answer::kRetry;
    case IDIGNORE:
      return Answer::kIgnore;
    case IDOK:
      return Answer::kOk;
    default:
      // No box could be shown (0): the box's cancel answer, as when it is closed.
      return buttons == Buttons::kYesNo              ? Answer::kNo
             : buttons == Buttons::kAbortRetryIgnore ? Answer::kAbort
                                                     : Answer::kOk;
  }
}

bool SaveWindowPicture(void* window, const std::string& path) {
  HWND hwnd = static_cast<HWND>(window);
  if (hwnd == nullptr) return false;
  ::RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::string pixels(static_cast<std::size_t>(stride) * height, '\0');
  const int lines = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (lines != height) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::FILE* out = ::_wfopen(Utf8ToWide(path).c_str(), L"wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
            std::fwrite(&info, sizeof info, 1, out) == 1 &&
            std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return std::fclose(out) == 0 && ok;
}

void Win32WindowServices::StatusChanged(std::string_view text, bool visible) {
  if (before_box_) before_box_();
  if (owner_ != nullptr) {
    ::RedrawWindow(static_cast<HWND>(owner_), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

void Win32WindowServices::SetPointer(Pointer pointer) {
  busy_ = pointer == Pointer::kHourglass;
  ::SetCursor(::LoadCursorA(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
}

Picture Win32WindowServices::LoadPicture(std::string_view path) {
  const std::string native = files_ ? files_->NativePath(path) : std::string(path);
  if (native.empty() || !IsFile(native)) throw RuntimeError(kErrFileNotFound);
  const std::wstring wide = Utf8ToWide(native);
  std::ifstream in(std::filesystem::path(wide), std::ios::binary | std::ios::ate);
  if (!in || in.tellg() > kMaxPictureBytes) throw RuntimeError(kErrInvalidPicture);
  in.seekg(0);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The view loads the picture again at its own size; this load only tells a bitmap from
  // anything else.
  HANDLE image = ::LoadImageW(nullptr, wide.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  if (image == nullptr || bytes.empty()) throw RuntimeError(kErrInvalidPicture);
  ::DeleteObject(image);
  return Picture{native, std::move(bytes)};
}

}  // namespace xfr
