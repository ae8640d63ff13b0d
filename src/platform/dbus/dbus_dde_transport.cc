#include "platform/dbus/dbus_dde_transport.h"

#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <string>

#include "platform/dbus/dde_bus.h"
#include "platform/runtime_error.h"

namespace xfr {
namespace {

// A DDE text ends at its first NUL; D-Bus strings cannot hold one anyway.
QString ToQString(std::string_view text) {
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

[[noreturn]] void RaiseForReply(const QDBusMessage& reply) {
  const QByteArray name = reply.errorName().toUtf8();
  const int number = dde_bus::ErrorNumberForDBusError(std::string_view(name.data(), name.size()));
  throw RuntimeError(number);
}

// Sends `call` and returns the reply; raises for an error reply.
QDBusMessage Call(const QDBusConnection& connection, const QDBusMessage& call, int timeout_ms) {
  QDBusMessage reply = connection.call(call, QDBus::Block, timeout_ms);
  if (reply.type() == QDBusMessage::ErrorMessage) RaiseForReply(reply);
  if (reply.type() != QDBusMessage::ReplyMessage) throw RuntimeError(kErrDdeRefused);
  return reply;
}

class DBusConversation : public DdeConversation {
 public:
  DBusConversation(QDBusConnection connection, QString bus_name, QString topic, int timeout_ms)
      : connection_(std::move(connection)),
        bus_name_(std::move(bus_name)),
        topic_(std::move(topic)),
        timeout_ms_(timeout_ms) {}

  std::string Request(std::string_view item) override {
    QDBusMessage reply =
        Call(connection_, NewCall("Request") << topic_ << ToQString(item), timeout_ms_);
    const QList<QVariant> args = reply.arguments();
    // A server that answers with anything but one text did not perform the request.
    if (args.size() != 1 || args[0].metaType().id() != QMetaType::QString) {
      throw RuntimeError(kErrDdeRefused);
    }
    const QByteArray text = args[0].toString().toUtf8();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
  }

  void Poke(std::string_view item, std::string_view data) override {
    Call(connection_, NewCall("Poke") << topic_ << ToQString(item) << ToQString(data), timeout_ms_);
  }

  void Execute(std::string_view command) override {
    Call(connection_, NewCall("Execute") << topic_ << ToQString(command), timeout_ms_);
  }

 private:
  QDBusMessage NewCall(const char* method) const {
    return QDBusMessage::createMethodCall(bus_name_, QString::fromLatin1(dde_bus::kObjectPath),
                                          QString::fromLatin1(dde_bus::kInterface),
                                          QString::fromLatin1(method));
  }

  QDBusConnection connection_;
  QString bus_name_;
  QString topic_;
  int timeout_ms_;
};

}  // namespace

DBusDdeTransport::DBusDdeTransport(int timeout_ms)
    : DBusDdeTransport(QDBusConnection::sessionBus(), timeout_ms) {}

DBusDdeTransport::DBusDdeTransport(QDBusConnection connection, int timeout_ms)
    : connection_(std::move(connection)), timeout_ms_(timeout_ms > 0 ? timeout_ms : 1) {}

std::unique_ptr<DdeConversation> DBusDdeTransport::Initiate(std::string_view service,
                                                            std::string_view topic) {
  const size_t nul = service.find('\0');
  if (nul != std::string_view::npos) service = service.substr(0, nul);
  const std::string bus_name = dde_bus::BusNameForService(service);
  // Checked again here: nothing that is not a valid bus name may reach libdbus.
  if (bus_name.empty() || !dde_bus::IsValidBusName(bus_name) || !connection_.isConnected()) {
    throw RuntimeError(kErrNoDdeServer);
  }
  const QString name =
      QString::fromLatin1(bus_name.data(), static_cast<qsizetype>(bus_name.size()));

  // The initiate: somebody must own the name.
  QDBusMessage ask = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
  ask << name;
  QDBusMessage reply = connection_.call(ask, QDBus::Block, timeout_ms_);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    const QByteArray error = reply.errorName().toUtf8();
    const int number =
        dde_bus::ErrorNumberForDBusError(std::string_view(error.data(), error.size()));
    throw RuntimeError(number == kErrDdeTimeout ? kErrDdeTimeout : kErrNoDdeServer);
  }
  if (reply.arguments().size() != 1 || !reply.arguments()[0].toBool()) {
    throw RuntimeError(kErrNoDdeServer);
  }
  return std::make_unique<DBusConversation>(connection_, name, ToQString(topic), timeout_ms_);
}

}  // namespace xfr
