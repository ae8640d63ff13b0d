#include "dde_window_server.h"

#include <dde.h>

#include <cstring>
#include <fstream>

namespace apxsim {
namespace {

constexpr char kConversationClass[] = "apx-sim DDE conversation";
constexpr WORD kAckPositive = 0x8000;

std::string Convert(std::string_view text, UINT from, UINT to) {
  if (text.empty()) return {};
  int n = ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  const char* fallback = to == CP_UTF8 ? nullptr : "?";
  n = ::WideCharToMultiByte(to, 0, wide.data(), n, nullptr, 0, fallback, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(to, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, fallback,
                        nullptr);
  return out;
}
std::string FromAnsi(std::string_view text) { return Convert(text, 1252, CP_UTF8); }
std::string ToAnsi(std::string_view text) { return Convert(text, CP_UTF8, 1252); }

std::string AtomText(ATOM atom) {
  char name[256];
  const UINT n = atom ? ::GlobalGetAtomNameA(atom, name, sizeof name) : 0;
  return FromAnsi(std::string_view(name, n));
}

// The text of a global memory block from `offset` up to its first NUL.
std::string GlobalText(HGLOBAL memory, size_t offset) {
  const SIZE_T size = ::GlobalSize(memory);
  const char* bytes = static_cast<const char*>(::GlobalLock(memory));
  if (bytes == nullptr || size <= offset) {
    if (bytes) ::GlobalUnlock(memory);
    return {};
  }
  std::string_view text(bytes + offset, size - offset);
  std::string out = FromAnsi(text.substr(0, text.find('\0')));
  ::GlobalUnlock(memory);
  return out;
}

}  // namespace

DdeWindowServer::DdeWindowServer(ReportFile* report, std::FILE* log, std::string dump_path,
                                 std::string service)
    : report_(report), log_(log), dump_path_(std::move(dump_path)), service_(std::move(service)) {}

DdeWindowServer::~DdeWindowServer() {
  if (window_) ::DestroyWindow(window_);
}

bool DdeWindowServer::Start() {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA server_class{};
  server_class.lpfnWndProc = ServerProc;
  server_class.hInstance = instance;
  server_class.lpszClassName = kWindowClass;
  WNDCLASSA conversation_class = server_class;
  conversation_class.lpfnWndProc = ConversationProc;
  conversation_class.lpszClassName = kConversationClass;
  if (!::RegisterClassA(&server_class) || !::RegisterClassA(&conversation_class)) return false;
  const std::string title = "apx-sim " + service_;
  // Top-level and hidden: the initiate is broadcast to top-level windows.
  window_ = ::CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, instance, this);
  return window_ != nullptr;
}

bool DdeWindowServer::WriteDump() const {
  if (dump_path_.empty()) return false;
  const std::string temp = dump_path_ + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    const std::string json = report_->ToJson();
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    if (!out.flush()) return false;
  }
  return ::MoveFileExA(temp.c_str(), dump_path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void DdeWindowServer::Log(const char* op, const std::string& topic, const std::string* item,
                          const std::string* data) const {
  if (log_ == nullptr) return;
  const std::string line = LogLine(op, topic, item, data);
  std::fwrite(line.data(), 1, line.size(), log_);
  std::fflush(log_);
}

void DdeWindowServer::Later(HWND hwnd, int delay_ms, std::function<void()> post) {
  if (delay_ms <= 0) {
    post();
    return;
  }
  const UINT_PTR id = next_timer_++;
  pending_[id] = std::move(post);
  ::SetTimer(hwnd, id, static_cast<UINT>(delay_ms), nullptr);
}

LRESULT CALLBACK DdeWindowServer::ServerProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* server = reinterpret_cast<DdeWindowServer*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_DDE_INITIATE:
      return server ? server->OnInitiate(reinterpret_cast<HWND>(wparam), LOWORD(lparam),
                                         HIWORD(lparam))
                    : 0;
    case WM_CLOSE:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

LRESULT DdeWindowServer::OnInitiate(HWND client, ATOM service_atom, ATOM topic_atom) {
  const std::string service = AtomText(service_atom);
  if (service_atom != 0 && Fold(service) != Fold(service_)) return 0;
  // An initiate without a topic asks for every topic; the System topic stands for them.
  const std::string topic = topic_atom ? AtomText(topic_atom) : "System";
  if (!report_->ServesTopic(topic)) return 0;
  auto* conversation = new Conversation{this, client, topic};
  HWND hwnd = ::CreateWindowExA(0, kConversationClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleA(nullptr), conversation);
  if (hwnd == nullptr) {
    delete conversation;
    return 0;
  }
  // The acknowledgement carries new atoms, which the client deletes.
  ::SendMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(hwnd),
                 MAKELPARAM(::GlobalAddAtomA(ToAnsi(service_).c_str()),
                            ::GlobalAddAtomA(ToAnsi(topic).c_str())));
  return 0;
}

LRESULT CALLBACK DdeWindowServer::ConversationProc(HWND hwnd, UINT msg, WPARAM wparam,
                                                   LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* c = reinterpret_cast<Conversation*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (c == nullptr) return ::DefWindowProcA(hwnd, msg, wparam, lparam);
  DdeWindowServer* server = c->server;
  switch (msg) {
    case WM_DDE_REQUEST:
      server->OnRequest(hwnd, c, lparam);
      return 0;
    case WM_DDE_POKE:
      server->OnPoke(hwnd, c, lparam);
      return 0;
    case WM_DDE_EXECUTE:
      server->OnExecute(hwnd, c, lparam);
      return 0;
    case WM_DDE_ACK:
      // Nothing is sent that asks for an acknowledgement; free what one may carry.
      ::FreeDDElParam(WM_DDE_ACK, lparam);
      return 0;
    case WM_DDE_TERMINATE:
      ::PostMessageA(c->client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(hwnd), 0);
      ::DestroyWindow(hwnd);
      return 0;
    case WM_TIMER: {
      ::KillTimer(hwnd, wparam);
      auto it = server->pending_.find(wparam);
      if (it != server->pending_.end()) {
        std::function<void()> post = std::move(it->second);
        server->pending_.erase(it);
        post();
      }
      return 0;
    }
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      delete c;
      return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

void DdeWindowServer::OnRequest(HWND hwnd, Conversation* c, LPARAM lparam) {
  const UINT format = LOWORD(lparam);
  const ATOM item_atom = HIWORD(lparam);
  const std::string item = AtomText(item_atom);
  Log("request", c->topic, &item, nullptr);
  Reply reply = report_->Request(c->topic, item);
  HWND client = c->client;
  if (format != CF_TEXT || reply.outcome != Outcome::kOk) {
    Later(hwnd, reply.delay_ms, [=] {
      ::PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(hwnd),
                     ::PackDDElParam(WM_DDE_ACK, 0, item_atom));
    });
    return;
  }
  const std::string text = ToAnsi(reply.text);
  Later(hwnd, reply.delay_ms, [=] {
    HGLOBAL memory =
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEDATA) + text.size() + 1);
    auto* data = static_cast<DDEDATA*>(::GlobalLock(memory));
    std::memset(data, 0, sizeof(DDEDATA));
    data->fResponse = 1;
    data->fRelease = 1;
    data->cfFormat = CF_TEXT;
    std::memcpy(data->Value, text.c_str(), text.size() + 1);
    ::GlobalUnlock(memory);
    // The request's item atom goes back with the data; the client deletes it.
    LPARAM packed = ::PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(memory), item_atom);
    if (!::PostMessageA(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(hwnd), packed)) {
      ::GlobalFree(memory);
      ::FreeDDElParam(WM_DDE_DATA, packed);
    }
  });
}

void DdeWindowServer::OnPoke(HWND hwnd, Conversation* c, LPARAM lparam) {
  UINT_PTR memory_value = 0, item_value = 0;
  ::UnpackDDElParam(WM_DDE_POKE, lparam, &memory_value, &item_value);
  HGLOBAL memory = reinterpret_cast<HGLOBAL>(memory_value);
  const ATOM item_atom = static_cast<ATOM>(item_value);
  const std::string item = AtomText(item_atom);
  bool release = false;
  short format = 0;
  if (auto* poke = static_cast<DDEPOKE*>(::GlobalLock(memory))) {
    release = poke->fRelease;
    format = poke->cfFormat;
    ::GlobalUnlock(memory);
  }
  const std::string data = GlobalText(memory, offsetof(DDEPOKE, Value));
  Log("poke", c->topic, &item, &data);
  Reply reply;
  if (format == CF_TEXT) {
    reply = report_->Poke(c->topic, item, data);
  } else {
    reply.outcome = Outcome::kPokeRefused;
  }
  const bool ok = reply.outcome == Outcome::kOk;
  if (ok && !dump_path_.empty()) WriteDump();
  // A positive acknowledgement hands the data to us, to free when the client asked so.
  if (ok && release) ::GlobalFree(memory);
  LPARAM ack = ::ReuseDDElParam(lparam, WM_DDE_POKE, WM_DDE_ACK, ok ? kAckPositive : 0, item_atom);
  HWND client = c->client;
  Later(hwnd, reply.delay_ms,
        [=] { ::PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(hwnd), ack); });
}

void DdeWindowServer::OnExecute(HWND hwnd, Conversation* c, LPARAM lparam) {
  HGLOBAL commands = reinterpret_cast<HGLOBAL>(lparam);
  const std::string command = GlobalText(commands, 0);
  Log("execute", c->topic, nullptr, &command);
  Reply reply = report_->Execute(c->topic, command);
  const WORD status = reply.outcome == Outcome::kOk ? kAckPositive : 0;
  HWND client = c->client;
  Later(hwnd, reply.delay_ms, [=] {
    ::PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(hwnd),
                   ::PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(commands)));
  });
}

}  // namespace apxsim
