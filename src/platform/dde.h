// The DDE client side. DdeTransport is what a platform provides (the session bus on Linux,
// DDEML on Windows); DdeClientControl (dde_control.h) is the text control with LinkTopic,
// LinkItem, LinkMode and Text that the link operations drive.
//
// Errors are RuntimeError: 282 when no server answers the initiate, 285 when the server refuses
// a request, poke or execute, 286 when it does not answer within the transport's time-out.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace xfr {

class DdeConversation {
 public:
  virtual ~DdeConversation() = default;
  // The server's text, delivered unchanged (CR LF and all).
  virtual std::string Request(std::string_view item) = 0;
  virtual void Poke(std::string_view item, std::string_view data) = 0;
  virtual void Execute(std::string_view command) = 0;
};

class DdeTransport {
 public:
  virtual ~DdeTransport() = default;
  // Starts a conversation with `service` on `topic`; raises 282 when nobody answers.
  virtual std::unique_ptr<DdeConversation> Initiate(std::string_view service,
                                                    std::string_view topic) = 0;
};

}  // namespace xfr
