// DdemlTransport: the DDE client over DDEML (doc/dde_windows.md). DdeInitialize once, on the
// thread that first starts a conversation, which must be the only thread using the transport
// (DDEML instances belong to a thread); a conversation per DdeConnect; each request, poke and
// execute one synchronous DdeClientTransaction with the transport's time-out.
//
// Errors (RuntimeError): 282 when no server answers the initiate; 285 when the server refuses or
// does not process a request, poke or execute (a poke or execute counts as done only when the
// result carries DDE_FACK); 286 when it does not answer within timeout_ms.
//
// Texts are CF_TEXT in the ANSI code page 1252: converted from the program's UTF-8 on the way
// out and back to UTF-8 on the way in; a text ends at its first NUL.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/dde.h"

namespace xfr {

class DdemlTransport : public DdeTransport {
 public:
  static constexpr int kDefaultTimeoutMs = 5000;

  explicit DdemlTransport(int timeout_ms = kDefaultTimeoutMs);
  ~DdemlTransport() override;
  DdemlTransport(const DdemlTransport&) = delete;
  DdemlTransport& operator=(const DdemlTransport&) = delete;

  int timeout_ms() const { return timeout_ms_; }
  void set_timeout_ms(int timeout_ms) { timeout_ms_ = timeout_ms > 0 ? timeout_ms : 1; }

  std::unique_ptr<DdeConversation> Initiate(std::string_view service,
                                            std::string_view topic) override;

 private:
  unsigned long instance_ = 0;  // the DDEML instance, 0 until the first initiate
  int timeout_ms_;
};

}  // namespace xfr
