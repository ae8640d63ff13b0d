// DBusDdeTransport: the DDE client over the D-Bus session bus (names in dde_bus.h, protocol in
// doc/dde_dbus.md). Every call blocks the calling thread until the server answers or the
// time-out passes; no Qt event loop needs to run (a QCoreApplication should exist, as Qt asks
// of every program using QtDBus).
//
// Errors (RuntimeError): 282 when no program owns the service's bus name (also: the service
// name cannot be a bus name, no session bus, the server does not serve the topic or went away),
// 285 when the server refuses, 286 when it does not answer within timeout_ms.
//
// Texts travel as D-Bus strings: a text is cut at its first NUL byte, as a DDE text is, and
// bytes that are not UTF-8 arrive as U+FFFD. Answers come back unchanged.
//
// Thread-safe for distinct conversations; a conversation belongs to one thread.
#pragma once

#include <QDBusConnection>
#include <memory>
#include <string_view>

#include "platform/dde.h"

namespace xfr {

class DBusDdeTransport : public DdeTransport {
 public:
  static constexpr int kDefaultTimeoutMs = 5000;

  // Uses the session bus.
  explicit DBusDdeTransport(int timeout_ms = kDefaultTimeoutMs);
  DBusDdeTransport(QDBusConnection connection, int timeout_ms);

  int timeout_ms() const { return timeout_ms_; }
  void set_timeout_ms(int timeout_ms) { timeout_ms_ = timeout_ms > 0 ? timeout_ms : 1; }

  std::unique_ptr<DdeConversation> Initiate(std::string_view service,
                                            std::string_view topic) override;

 private:
  QDBusConnection connection_;
  int timeout_ms_;
};

}  // namespace xfr
