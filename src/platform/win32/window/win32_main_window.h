// The main window on Windows: a modeless dialog made from the resource script's template
// (res/transfer-info.rc) that shows the FrmMain model and forwards the user's clicks, edits,
// activation, repaints and close to the core. Controls only display and forward; every flow is
// in the core. Runs on the thread that made it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/window/win32_window_services.h"
#include "platform/win32/windows_api.h"
#include "form/main_window.h"

namespace xfr {

class Win32MainWindow {
 public:
  struct Commands {
    std::function<void()> read;
    std::function<void()> send;
    std::function<void()> undo;  // "Undo last read" on the system menu (none: no such item)
  };

  // Makes the dialog (hidden) from the template. REQUIRES: form and services outlive the window.
  Win32MainWindow(FrmMain& form, Win32WindowServices& services, Commands commands);
  ~Win32MainWindow();
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // Brings every control up to date with the model.
  void Sync();
  void Show();

  // Runs one of the window's handlers the way an event does: one at a time, the model synced
  // afterwards, EndProgram closing the window, an error nobody trapped going to the report.
  void RunHandler(const std::function<void()>& handler);

  // Watches a directory where the hand-off file appears (a change notification; up to two: the
  // Windows directory and its VirtualStore copy), so a hand-off file written while the window is
  // idle repaints it, and the repaint takes the file. A directory that is not there: nothing.
  void WatchDirectory(const std::string& native_dir);

  // Writes what the screen shows of the window, frame included, as a 24-bit BMP file.
  bool SaveBitmap(const std::string& path) const;

  // The message loop until the window has ended; returns the exit code.
  int Run();
  // Handles the messages that are waiting, for about `milliseconds` (tests).
  void Pump(int milliseconds);

  HWND hwnd() const { return hwnd_; }
  HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }
  // The control showing a model box or label ("txtPR_Street", "lblFile_Num"); null if none.
  HWND ControlOf(std::string_view name) const;
  // A control's text in UTF-8.
  std::string TextOf(HWND control) const;
  bool ended() const { return ended_; }
  int exit_code() const { return exit_code_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void InitDialog();
  void Command(int id, int code);
  void Layout();
  void SetPicture(int id, const Picture& picture, std::string* shown, HBITMAP* bitmap);
  void End(int code);

  FrmMain& form_;
  Win32WindowServices& services_;
  Commands commands_;
  HWND hwnd_ = nullptr;
  HWND tips_ = nullptr;
  HFONT bold_ = nullptr;
  std::vector<HANDLE> changes_;
  std::vector<std::pair<int, TextBox*>> boxes_;
  std::vector<std::pair<int, Label*>> labels_;
  // Every control's place in the template (client pixels), and the rows that fold away when
  // their box and label are hidden: the row's top and height.
  std::map<HWND, RECT> places_;
  SIZE client_size_{};
  std::vector<std::pair<TextBox*, RECT>> folding_rows_;
  std::vector<bool> folded_;
  std::string trk_shown_, apx_shown_;
  HBITMAP trk_bitmap_ = nullptr, apx_bitmap_ = nullptr;
  int ani_step_ = 0;
  bool syncing_ = false;
  bool running_ = false;
  bool paint_check_queued_ = false;
  bool ended_ = false;
  int exit_code_ = 0;
};

}  // namespace xfr
