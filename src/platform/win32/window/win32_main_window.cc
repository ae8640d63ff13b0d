#include "platform/win32/window/win32_main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "base/error_report.h"
#include "platform/runtime_error.h"
#include "platform/win32/res/resource.h"
#include "platform/win32/win32_text.h"
#include "shell/lifecycle.h"

namespace xfr {

namespace {

// Posted to the dialog: run the activation handler, look for the hand-off file after a repaint.
constexpr UINT kActivated = WM_APP + 1;
constexpr UINT kPainted = WM_APP + 2;
// "Undo last read" on the system menu (below 0xF000, the low four bits clear).
constexpr UINT kUndoLastRead = 0x0110;

struct BoxId {
  int id;
  TextBox FrmMain::*box;
};
constexpr BoxId kBoxIds[] = {
    {IDC_txtFile_Num, &FrmMain::txtFile_Num},     {IDC_txtPR_Street, &FrmMain::txtPR_Street},
    {IDC_txtPR_City, &FrmMain::txtPR_City},       {IDC_txtPR_State, &FrmMain::txtPR_State},
    {IDC_txtPr_Zip, &FrmMain::txtPr_Zip},         {IDC_txtPR_County, &FrmMain::txtPR_County},
    {IDC_txtPr_Subdiv, &FrmMain::txtPr_Subdiv},   {IDC_txtPr_Map_Ref, &FrmMain::txtPr_Map_Ref},
    {IDC_txtPR_Census, &FrmMain::txtPR_Census},   {IDC_txtPr_Ref_Num, &FrmMain::txtPr_Ref_Num},
    {IDC_txtPr_Owner, &FrmMain::txtPr_Owner},     {IDC_txtPr_Borrowr, &FrmMain::txtPr_Borrowr},
    {IDC_txtAss_Type, &FrmMain::txtAss_Type},     {IDC_txtPr_dfinish, &FrmMain::txtPr_dfinish},
    {IDC_txtPr_Apprval, &FrmMain::txtPr_Apprval}, {IDC_txtPr_Lot, &FrmMain::txtPr_Lot},
    {IDC_txtPr_Block, &FrmMain::txtPr_Block},     {IDC_txtPr_LandLot, &FrmMain::txtPr_LandLot},
    {IDC_txtPr_Landist, &FrmMain::txtPr_Landist}, {IDC_txtPr_Section, &FrmMain::txtPr_Section},
    {IDC_txtPr_DeedBk, &FrmMain::txtPr_DeedBk},   {IDC_txtPr_DeedPg, &FrmMain::txtPr_DeedPg},
    {IDC_txtPr_PlatBk, &FrmMain::txtPr_PlatBk},   {IDC_txtPr_PlatPg, &FrmMain::txtPr_PlatPg},
    {IDC_txtCli_Num, &FrmMain::txtCli_Num},       {IDC_txtCli_LName, &FrmMain::txtCli_LName},
    {IDC_txtPlain_Name, &FrmMain::txtPlain_Name}, {IDC_txtCli_Street, &FrmMain::txtCli_Street},
    {IDC_txtCli_Addr2, &FrmMain::txtCli_Addr2},   {IDC_txtCli_Addr3, &FrmMain::txtCli_Addr3},
    {IDC_txtCli_Cont, &FrmMain::txtCli_Cont},
};

struct LabelId {
  int id;
  Label FrmMain::*label;
};
constexpr LabelId kLabelIds[] = {
    {IDC_lblFile_Num, &FrmMain::lblFile_Num},     {IDC_lblPr_Street, &FrmMain::lblPr_Street},
    {IDC_lblPr_City, &FrmMain::lblPr_City},       {IDC_lblPr_State, &FrmMain::lblPr_State},
    {IDC_lblPr_Zip, &FrmMain::lblPr_Zip},         {IDC_lblPr_County, &FrmMain::lblPr_County},
    {IDC_lblPr_Subdiv, &FrmMain::lblPr_Subdiv},   {IDC_lblPr_Map_Ref, &FrmMain::lblPr_Map_Ref},
    {IDC_lblPr_Census, &FrmMain::lblPr_Census},   {IDC_LblPr_Ref_Num, &FrmMain::LblPr_Ref_Num},
    {IDC_lblPr_Owner, &FrmMain::lblPr_Owner},     {IDC_lblPr_Borrowr, &FrmMain::lblPr_Borrowr},
    {IDC_lblPr_dFinish, &FrmMain::lblPr_dFinish}, {IDC_lblPr_ApprVal, &FrmMain::lblPr_ApprVal},
    {IDC_lblCli_Num, &FrmMain::lblCli_Num},       {IDC_lblCli_LName, &FrmMain::lblCli_LName},
    {IDC_lblPlain_Name, &FrmMain::lblPlain_Name}, {IDC_lblCli_Street, &FrmMain::lblCli_Street},
    {IDC_lblCli_Addr2, &FrmMain::lblCli_Addr2},   {IDC_lblCli_Addr3, &FrmMain::lblCli_Addr3},
    {IDC_lblCli_Cont, &FrmMain::lblCli_Cont},     {IDC_lblLegal, &FrmMain::lblLegal},
};

std::string WindowText(HWND w) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(w)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextA(w, text.data(), static_cast<int>(text.size()))));
  return text;
}

void SetText(HWND w, const std::string& utf8) {
  const std::string ansi = Utf8ToCp1252(utf8);
  if (WindowText(w) != ansi) ::SetWindowTextA(w, ansi.c_str());
}

void SetVisible(HWND w, bool visible) {
  const bool now = (::GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE) != 0;
  if (now != visible) ::ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
}

// The moving sheet of the copy animation: a page with lines on it.
void DrawPaper(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  ::FillRect(item.hDC, &r, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RECT page{r.left + 1, r.top + 1, r.right - 2, r.bottom - 1};
  ::FillRect(item.hDC, &page, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::FrameRect(item.hDC, &page, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
  HPEN pen = ::CreatePen(PS_SOLID, 2, RGB(90, 120, 200));
  HGDIOBJ old = ::SelectObject(item.hDC, pen);
  for (int y = page.top + 6; y < page.bottom - 3; y += 5) {
    ::MoveToEx(item.hDC, page.left + 4, y, nullptr);
    ::LineTo(item.hDC, page.right - 4, y);
  }
  ::SelectObject(item.hDC, old);
  ::DeleteObject(pen);
}

}  // namespace

Win32MainWindow::Win32MainWindow(FrmMain& form, Win32WindowServices& services, Commands commands)
    : form_(form), services_(services), commands_(std::move(commands)) {
  for (const BoxId& b : kBoxIds) boxes_.emplace_back(b.id, &(form_.*b.box));
  for (const LabelId& l : kLabelIds) labels_.emplace_back(l.id, &(form_.*l.label));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  hwnd_ = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                               DialogProc, reinterpret_cast<LPARAM>(this));
}

Win32MainWindow::~Win32MainWindow() {
  for (HANDLE change : changes_) ::FindCloseChangeNotification(change);
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(bold_), static_cast<HGDIOBJ>(trk_bitmap_),
                    static_cast<HGDIOBJ>(apx_bitmap_)}) {
    if (o != nullptr) ::DeleteObject(o);
  }
}

INT_PTR CALLBACK Win32MainWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
    auto* self = reinterpret_cast<Win32MainWindow*>(lparam);
    self->hwnd_ = hwnd;
    self->InitDialog();
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
  return self != nullptr ? self->Handle(message, wparam, lparam) : FALSE;
}

void Win32MainWindow::InitDialog() {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  if (commands_.undo) {
    // The layout has no room for a fourth button: the item is on the system menu.
    HMENU menu = ::GetSystemMenu(hwnd_, FALSE);
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, kUndoLastRead, "&Undo last read");
  }
  for (int size : {ICON_BIG, ICON_SMALL}) {
    const int px = ::GetSystemMetrics(size == ICON_BIG ? SM_CXICON : SM_CXSMICON);
    HANDLE icon = ::LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, px, px, 0);
    if (icon) ::SendMessageA(hwnd_, WM_SETICON, size, reinterpret_cast<LPARAM>(icon));
  }
  // The two column headings in bold.
  LOGFONTA font{};
  HFONT dialog_font = reinterpret_cast<HFONT>(::SendMessageA(hwnd_, WM_GETFONT, 0, 0));
  if (dialog_font && ::GetObjectA(dialog_font, sizeof font, &font)) {
    font.lfWeight = FW_BOLD;
    bold_ = ::CreateFontIndirectA(&font);
    for (int id : {IDC_lblAppraisals, IDC_lblTracking}) {
      ::SendMessageA(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(bold_), FALSE);
    }
  }
  // Tool tips: every box and the two commands; the text is asked of the model when shown.
  tips_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                            nullptr, instance, nullptr);
  std::vector<int> tipped = {IDC_CmdRead, IDC_cmdSend};
  for (const auto& [id, box] : boxes_) tipped.push_back(id);
  for (int id : tipped) {
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(id));
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    ::SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ::SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 400);

  // The template's places, and the rows that fold away (the completion date and the estimated
  // value, hidden unless the model shows them).
  RECT client;
  ::GetClientRect(hwnd_, &client);
  client_size_ = {client.right, client.bottom};
  for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    places_[child] = r;
  }
  RECT row_step{0, 0, 0, 14};  // the template's row pitch, in dialog units
  ::MapDialogRect(hwnd_, &row_step);
  for (TextBox* box : {&form_.txtPr_dfinish, &form_.txtPr_Apprval}) {
    RECT r = places_[ControlOf(box->name)];
    r.bottom = r.top + row_step.bottom;
    folding_rows_.emplace_back(box, r);
  }
  folded_.assign(folding_rows_.size(), false);
  Sync();
}

HWND Win32MainWindow::ControlOf(std::string_view name) const {
  for (const auto& [id, box] : boxes_) {
    if (box->name == name) return Control(id);
  }
  for (const auto& [id, label] : labels_) {
    if (label->name == name) return Control(id);
  }
  return nullptr;
}

std::string Win32MainWindow::TextOf(HWND control) const {
  return Cp1252ToUtf8(WindowText(control));
}

void Win32MainWindow::Show() {
  // Where the load put the window (the top left corner of the screen).
  ::SetWindowPos(hwnd_, nullptr, form_.left, form_.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  ::UpdateWindow(hwnd_);
}

void Win32MainWindow::Sync() {
  if (hwnd_ == nullptr) return;
  FrmMain& f = form_;
  syncing_ = true;
  SetText(hwnd_, f.caption);
  for (const auto& [id, box] : boxes_) {
    HWND w = Control(id);
    SetText(w, box->text);
    const int limit = box->max_length > 0 ? box->max_length : 0;
    if (static_cast<int>(::SendMessageA(w, EM_GETLIMITTEXT, 0, 0)) !=
        (limit ? limit : 0x7FFFFFFE)) {
      ::SendMessageA(w, EM_SETLIMITTEXT, limit, 0);
    }
    const bool read_only = (::GetWindowLongA(w, GWL_STYLE) & ES_READONLY) != 0;
    if (read_only != box->locked) ::SendMessageA(w, EM_SETREADONLY, box->locked, 0);
    SetVisible(w, box->visible);
    if ((::IsWindowEnabled(w) != 0) != box->enabled) ::EnableWindow(w, box->enabled);
  }
  // A row whose label and box are both hidden hides its caption too; the client captions stay.
  for (TextBox* box : {&f.txtPr_dfinish, &f.txtPr_Apprval}) {
    HWND caption = ::GetDlgItem(hwnd_, ::GetDlgCtrlID(ControlOf(box->name)) + IDC_CAPTION_OFFSET);
    SetVisible(caption, box->visible);
  }
  for (const auto& [id, label] : labels_) {
    SetText(Control(id), label->caption);
    SetVisible(Control(id), label->visible);
  }
  const int check = f.ckbAutoExit.value == 0   ? BST_UNCHECKED
                    : f.ckbAutoExit.value == 1 ? BST_CHECKED
                                               : BST_INDETERMINATE;
  if (static_cast<int>(::IsDlgButtonChecked(hwnd_, IDC_ckbAutoExit)) != check) {
    ::CheckDlgButton(hwnd_, IDC_ckbAutoExit, check);
  }
  SetText(Control(IDC_LblMsg), f.LblMsg.caption);
  SetVisible(Control(IDC_LblMsg), f.LblMsg.visible);

  // Sync runs after every repaint (the hand-off check); a control given the same picture again
  // would repaint and bring Sync back, so only changes are passed on.
  SetPicture(IDC_imgTrkIco, f.imgTrkIco.picture, &trk_shown_, &trk_bitmap_);
  SetPicture(IDC_imgApxIco, f.imgApxIco.picture, &apx_shown_, &apx_bitmap_);
  SetVisible(Control(IDC_imgTrkIco), f.imgTrkIco.visible);
  SetVisible(Control(IDC_imgApxIco), f.imgApxIco.visible);
  HWND ani = Control(IDC_aniCopy);
  SetVisible(ani, f.aniCopy.visible);
  if (f.aniCopy.visible) {
    // Each time the window catches up during a transfer the sheet moves on one step between the
    // two pictures.
    const RECT a = places_[ani], from = places_[Control(IDC_imgTrkIco)],
               to = places_[Control(IDC_imgApxIco)];
    const int span = std::max<int>(1, to.left - from.right - (a.right - a.left) - 8);
    ::SetWindowPos(ani, nullptr, from.right + 4 + (ani_step_++ * 37) % span, a.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    ani_step_ = 0;
  }
  Layout();
  syncing_ = false;
}

void Win32MainWindow::Layout() {
  std::vector<bool> folded;
  for (const auto& [box, row] : folding_rows_) folded.push_back(!box->visible);
  if (folded == folded_) return;
  folded_ = folded;
  // A control below a folded row moves up by the row's height. Below means by its middle: the
  // template's tops, rounded to pixels one by one, put a box a pixel above its caption or a row's
  // end, depending on the dialog's base units.
  auto shift = [&](LONG middle) {
    LONG dy = 0;
    for (std::size_t i = 0; i < folding_rows_.size(); ++i) {
      const RECT& row = folding_rows_[i].second;
      if (folded_[i] && middle >= row.bottom) dy += row.bottom - row.top;
    }
    return dy;
  };
  for (const auto& [w, r] : places_) {
    LONG left = r.left;
    if (::GetDlgCtrlID(w) == IDC_aniCopy) {
      RECT now;
      ::GetWindowRect(w, &now);
      ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&now), 2);
      left = now.left;
    }
    ::SetWindowPos(w, nullptr, left, r.top - shift((r.top + r.bottom) / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT frame{0, 0, client_size_.cx, client_size_.cy - shift(client_size_.cy)};
  ::AdjustWindowRectEx(&frame, ::GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                       ::GetWindowLongA(hwnd_, GWL_EXSTYLE));
  ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetPicture(int id, const Picture& picture, std::string* shown,
                                 HBITMAP* bitmap) {
  if (picture.bytes == *shown && (*bitmap != nullptr) == !picture.empty()) return;
  *shown = picture.bytes;
  HBITMAP next = nullptr;
  if (!picture.empty()) {
    next = static_cast<HBITMAP>(::LoadImageW(nullptr, Utf8ToWide(picture.path).c_str(),
                                             IMAGE_BITMAP, 32, 32, LR_LOADFROMFILE));
  }
  ::SendMessageA(Control(id), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(next));
  if (*bitmap != nullptr) ::DeleteObject(*bitmap);
  *bitmap = next;
}

void Win32MainWindow::RunHandler(const std::function<void()>& handler) {
  RunWindowHandler(
      form_.app(), handler, running_, ended_, [this](int code) { End(code); }, [this] { Sync(); });
}

void Win32MainWindow::End(int code) {
  ended_ = true;
  exit_code_ = code;
  if (hwnd_ != nullptr) {
    HWND w = hwnd_;
    hwnd_ = nullptr;
    ::DestroyWindow(w);
  }
}

void Win32MainWindow::Command(int id, int code) {
  if (code == EN_CHANGE) {
    if (syncing_) return;
    for (const auto& [box_id, box] : boxes_) {
      if (box_id == id) box->Type(TextOf(Control(id)));
    }
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_CmdRead:
      if (commands_.read) RunHandler(commands_.read);
      break;
    case IDC_cmdSend:
      if (commands_.send) RunHandler(commands_.send);
      break;
    case IDC_cmdExit:
      RunHandler([this] { cmdExit_Click(form_); });
      break;
    case IDC_ckbAutoExit:
      // A click checks or clears; only the preference file can make the box grey.
      form_.ckbAutoExit.value = form_.ckbAutoExit.value == 1 ? 0 : 1;
      Sync();
      break;
  }
}

INT_PTR Win32MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != kUndoLastRead) return FALSE;
      RunHandler(commands_.undo);  // nothing while another handler runs
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) ::PostMessageA(hwnd_, kActivated, 0, 0);
      return FALSE;
    case kActivated:
      RunHandler([this] { Form_Activate(form_); });
      return TRUE;
    case WM_PAINT:
      // The hand-off file is looked for after each repaint, outside the paint itself, since
      // showing its record may raise a message box. The dialog paints itself as usual.
      if (!paint_check_queued_ && !ended_) {
        paint_check_queued_ = true;
        ::PostMessageA(hwnd_, kPainted, 0, 0);
      }
      return FALSE;
    case kPainted:
      paint_check_queued_ = false;
      if (!running_) RunHandler([this] { Form_Paint(form_); });
      return TRUE;
    case WM_CLOSE:
      // A command still running keeps the window; otherwise the unload handler, then the end.
      if (running_ || ended_) return TRUE;
      running_ = true;
      try {
        Form_Unload(form_);
      } catch (const RuntimeError&) {
      } catch (const EndProgram&) {
      }
      running_ = false;
      End(0);
      return TRUE;
    case WM_SETCURSOR:
      if (!services_.busy()) return FALSE;
      ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_DRAWITEM:
      if (wparam == IDC_aniCopy) DrawPaper(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->code != TTN_GETDISPINFOA) return FALSE;
      auto* info = reinterpret_cast<NMTTDISPINFOA*>(lparam);
      static std::string tip;  // must outlive this message
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom));
      tip.clear();
      if (id == IDC_CmdRead) tip = form_.CmdRead.tool_tip;
      if (id == IDC_cmdSend) tip = form_.cmdSend.tool_tip;
      for (const auto& [box_id, box] : boxes_) {
        if (box_id == id) tip = box->tool_tip;
      }
      tip = Utf8ToCp1252(tip);
      info->lpszText = tip.data();
      return TRUE;
    }
  }
  return FALSE;
}

void Win32MainWindow::WatchDirectory(const std::string& native_dir) {
  if (native_dir.empty() || changes_.size() == 2) return;
  const HANDLE change = ::FindFirstChangeNotificationW(
      Utf8ToWide(native_dir).c_str(), FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
  if (change != INVALID_HANDLE_VALUE) changes_.push_back(change);
}

void Win32MainWindow::Pump(int milliseconds) {
  const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  do {
    const DWORD watched = static_cast<DWORD>(changes_.size());
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now >= until ? 0 : static_cast<DWORD>(until - now);
    const DWORD r = ::MsgWaitForMultipleObjects(watched, changes_.data(), FALSE, left, QS_ALLINPUT);
    if (r - WAIT_OBJECT_0 < watched) {
      // Something changed where the hand-off file appears: a repaint, which looks for it.
      ::FindNextChangeNotification(changes_[r - WAIT_OBJECT_0]);
      if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, FALSE);
    }
    MSG msg;
    while (!ended_ && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      if (hwnd_ == nullptr || !::IsDialogMessageA(hwnd_, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
    }
  } while (!ended_ && ::GetTickCount64() < until);
}

bool Win32MainWindow::SaveBitmap(const std::string& path) const {
  return SaveWindowPicture(hwnd_, path);
}

int Win32MainWindow::Run() {
  while (!ended_) Pump(1000);
  return exit_code_;
}

}  // namespace xfr
