#include "platform/win32/window/win32_window_services.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/runtime_error.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/windows_api.h"

namespace xfr {

namespace {

// Pictures larger than this are not icons; they are refused rather than read into memory.
constexpr std::streamoff kMaxPictureBytes = 16 * 1024 * 1024;

}  // namespace

Answer Win32WindowServices::MessageBox(std::string_view text, std::string_view title,
                                       Buttons buttons) {
  if (before_box_) before_box_();
  if (std::optional<Answer> preset = Preset(text, title, buttons)) return *preset;
  UINT type = MB_OK | MB_ICONINFORMATION;
  if (buttons == Buttons::kYesNo) type = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1;
  if (buttons == Buttons::kAbortRetryIgnore) type = MB_ABORTRETRYIGNORE | MB_ICONERROR;
  // The hourglass would stand over the box; the normal pointer while it is up.
  if (busy_) ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
  const std::string t = Utf8ToCp1252(text), c = Utf8ToCp1252(title);
  int pressed = ::MessageBoxA(static_cast<HWND>(owner_), t.c_str(), c.c_str(), type | MB_TASKMODAL);
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
  const DWORD attributes =
      native.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw RuntimeError(kErrFileNotFound);
  }
  std::ifstream in(native, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() > kMaxPictureBytes) throw RuntimeError(kErrInvalidPicture);
  in.seekg(0);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The view loads the picture again at its own size; this load only tells a bitmap from
  // anything else.
  HANDLE image = ::LoadImageA(nullptr, native.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  if (image == nullptr || bytes.empty()) throw RuntimeError(kErrInvalidPicture);
  ::DeleteObject(image);
  return Picture{native, std::move(bytes)};
}

}  // namespace xfr
