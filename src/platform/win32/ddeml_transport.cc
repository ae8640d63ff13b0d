#include "platform/win32/ddeml_transport.h"

#include "platform/win32/windows_api.h"
// windows.h first: ddeml.h needs its types.
#include <ddeml.h>

#include <string>

#include "platform/runtime_error.h"
#include "platform/win32/win32_text.h"

namespace xfr {
namespace {

// A client needs a callback, though it answers nothing.
HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

std::string UntilNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

// A DDEML string handle, freed with its owner.
class StringHandle {
 public:
  StringHandle(DWORD instance, std::string_view utf8)
      : instance_(instance),
        hsz_(::DdeCreateStringHandleA(instance, Utf8ToCp1252(UntilNul(utf8)).c_str(), CP_WINANSI)) {
  }
  ~StringHandle() {
    if (hsz_ != nullptr) ::DdeFreeStringHandle(instance_, hsz_);
  }
  StringHandle(const StringHandle&) = delete;
  StringHandle& operator=(const StringHandle&) = delete;
  HSZ get() const { return hsz_; }

 private:
  DWORD instance_;
  HSZ hsz_;
};

// The run-time error for a failed transaction.
[[noreturn]] void RaiseForTransaction(DWORD instance) {
  switch (::DdeGetLastError(instance)) {
    case DMLERR_DATAACKTIMEOUT:
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_POKEACKTIMEOUT:
      throw RuntimeError(kErrDdeTimeout);
    default:
      throw RuntimeError(kErrDdeRefused);
  }
}

class DdemlConversation : public DdeConversation {
 public:
  DdemlConversation(DWORD instance, HCONV conversation, int timeout_ms)
      : instance_(instance), conversation_(conversation), timeout_ms_(timeout_ms) {}
  ~DdemlConversation() override { ::DdeDisconnect(conversation_); }

  std::string Request(std::string_view item) override {
    StringHandle hsz(instance_, item);
    DWORD result = 0;
    HDDEDATA data = ::DdeClientTransaction(nullptr, 0, conversation_, hsz.get(), CF_TEXT,
                                           XTYP_REQUEST, Timeout(), &result);
    if (data == nullptr) RaiseForTransaction(instance_);
    const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    if (size > 0) ::DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
    ::DdeFreeDataHandle(data);
    return Cp1252ToUtf8(UntilNul(bytes));
  }

  void Poke(std::string_view item, std::string_view text) override {
    StringHandle hsz(instance_, item);
    std::string bytes = Utf8ToCp1252(UntilNul(text));
    Transact(&bytes, hsz.get(), CF_TEXT, XTYP_POKE);
  }

  void Execute(std::string_view command) override {
    std::string bytes = Utf8ToCp1252(UntilNul(command));
    Transact(&bytes, nullptr, 0, XTYP_EXECUTE);
  }

 private:
  DWORD Timeout() const { return static_cast<DWORD>(timeout_ms_); }

  // A poke or execute of `bytes` (sent with its NUL). Done only when the server acknowledged it
  // positively: Wine's DDEML reports a refused poke as a success without DDE_FACK.
  void Transact(std::string* bytes, HSZ item, UINT format, UINT type) {
    DWORD result = 0;
    HDDEDATA done = ::DdeClientTransaction(reinterpret_cast<LPBYTE>(bytes->data()),
                                           static_cast<DWORD>(bytes->size() + 1), conversation_,
                                           item, format, type, Timeout(), &result);
    if (done == nullptr) RaiseForTransaction(instance_);
    if ((result & DDE_FACK) == 0) throw RuntimeError(kErrDdeRefused);
  }

  DWORD instance_;
  HCONV conversation_;
  int timeout_ms_;
};

}  // namespace

DdemlTransport::DdemlTransport(int timeout_ms) : timeout_ms_(timeout_ms > 0 ? timeout_ms : 1) {}

DdemlTransport::~DdemlTransport() {
  if (instance_ != 0) ::DdeUninitialize(instance_);
}

std::unique_ptr<DdeConversation> DdemlTransport::Initiate(std::string_view service,
                                                          std::string_view topic) {
  if (instance_ == 0) {
    DWORD instance = 0;
    if (::DdeInitializeA(&instance, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
      throw RuntimeError(kErrNoDdeServer);
    }
    instance_ = instance;
  }
  const DWORD instance = static_cast<DWORD>(instance_);
  StringHandle hsz_service(instance, service);
  StringHandle hsz_topic(instance, topic);
  if (hsz_service.get() == nullptr || hsz_topic.get() == nullptr)
    throw RuntimeError(kErrNoDdeServer);
  HCONV conversation = ::DdeConnect(instance, hsz_service.get(), hsz_topic.get(), nullptr);
  if (conversation == nullptr) throw RuntimeError(kErrNoDdeServer);
  return std::make_unique<DdemlConversation>(instance, conversation, timeout_ms_);
}

}  // namespace xfr
