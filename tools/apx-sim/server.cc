#include "server.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include "json.h"
#include "platform/dbus/dde_bus.h"

namespace apxsim {
namespace {

constexpr char kSimInterface[] = "dde.Simulator";

std::string Utf8(const QVariant& v) {
  const QByteArray bytes = v.toString().toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString ErrorNameFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUnknownTopic:
      return QString::fromLatin1(xfr::dde_bus::kErrorUnknownTopic);
    case Outcome::kItemRefused:
      return QString::fromLatin1(xfr::dde_bus::kErrorItemRefused);
    case Outcome::kPokeRefused:
      return QString::fromLatin1(xfr::dde_bus::kErrorPokeRefused);
    case Outcome::kExecuteFailed:
      return QString::fromLatin1(xfr::dde_bus::kErrorExecuteFailed);
    case Outcome::kOk:
      break;
  }
  return {};
}

// Every argument a text, as many as the method takes.
bool TextArguments(const QDBusMessage& message, int count) {
  const QList<QVariant> args = message.arguments();
  if (args.size() != count) return false;
  for (const QVariant& arg : args) {
    if (arg.metaType().id() != QMetaType::QString) return false;
  }
  return true;
}

}  // namespace

ConversationServer::ConversationServer(ReportFile* report, std::FILE* log, QString dump_path)
    : report_(report), log_(log), dump_path_(std::move(dump_path)) {}

bool ConversationServer::WriteDump() const {
  if (dump_path_.isEmpty()) return false;
  QSaveFile file(dump_path_);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const std::string json = report_->ToJson();
  file.write(json.data(), static_cast<qint64>(json.size()));
  return file.commit();
}

QString ConversationServer::introspect(const QString&) const {
  return QStringLiteral(
      "  <interface name=\"dde.Conversation\">\n"
      "    <method name=\"Request\">\n"
      "      <arg name=\"topic\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"text\" type=\"s\" direction=\"out\"/>\n"
      "    </method>\n"
      "    <method name=\"Poke\">\n"
      "      <arg name=\"topic\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"data\" type=\"s\" direction=\"in\"/>\n"
      "    </method>\n"
      "    <method name=\"Execute\">\n"
      "      <arg name=\"topic\" type=\"s\" direction=\"in\"/>\n"
      "      <arg name=\"command\" type=\"s\" direction=\"in\"/>\n"
      "    </method>\n"
      "  </interface>\n"
      "  <interface name=\"dde.Simulator\">\n"
      "    <method name=\"Dump\">\n"
      "      <arg name=\"report\" type=\"s\" direction=\"out\"/>\n"
      "    </method>\n"
      "  </interface>\n");
}

void ConversationServer::Log(const char* op, const std::string& topic, const std::string* item,
                             const std::string* data) const {
  if (log_ == nullptr) return;
  const std::string line = LogLine(op, topic, item, data);
  std::fwrite(line.data(), 1, line.size(), log_);
  std::fflush(log_);
}

bool ConversationServer::handleMessage(const QDBusMessage& message,
                                       const QDBusConnection& connection) {
  const QString interface = message.interface();
  const QString member = message.member();
  auto reply_now = [&](const QDBusMessage& reply) {
    if (message.isReplyRequired()) connection.send(reply);
  };

  if (interface == QLatin1String(kSimInterface) && member == QLatin1String("Dump")) {
    if (!dump_path_.isEmpty() && !WriteDump()) {
      reply_now(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                         QStringLiteral("cannot write ") + dump_path_));
    } else {
      reply_now(message.createReply(QString::fromStdString(report_->ToJson())));
    }
    return true;
  }
  if (!interface.isEmpty() && interface != QLatin1String(xfr::dde_bus::kInterface)) return false;

  Reply outcome;
  QDBusMessage reply;
  if (member == QLatin1String("Request") && TextArguments(message, 2)) {
    const std::string topic = Utf8(message.arguments()[0]);
    const std::string item = Utf8(message.arguments()[1]);
    Log("request", topic, &item, nullptr);
    outcome = report_->Request(topic, item);
    if (outcome.outcome == Outcome::kOk)
      reply = message.createReply(QString::fromStdString(outcome.text));
  } else if (member == QLatin1String("Poke") && TextArguments(message, 3)) {
    const std::string topic = Utf8(message.arguments()[0]);
    const std::string item = Utf8(message.arguments()[1]);
    const std::string data = Utf8(message.arguments()[2]);
    Log("poke", topic, &item, &data);
    outcome = report_->Poke(topic, item, data);
    if (outcome.outcome == Outcome::kOk) reply = message.createReply();
  } else if (member == QLatin1String("Execute") && TextArguments(message, 2)) {
    const std::string topic = Utf8(message.arguments()[0]);
    const std::string command = Utf8(message.arguments()[1]);
    Log("execute", topic, nullptr, &command);
    outcome = report_->Execute(topic, command);
    if (outcome.outcome == Outcome::kOk) reply = message.createReply();
  } else {
    reply_now(message.createErrorReply(
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("no method %1 with signature \"%2\"").arg(member, message.signature())));
    return true;
  }
  if (outcome.outcome != Outcome::kOk) {
    reply = message.createErrorReply(ErrorNameFor(outcome.outcome),
                                     QString::fromStdString(outcome.text));
  }
  if (!message.isReplyRequired()) return true;
  if (outcome.delay_ms > 0) {
    // A delayed reply, never a sleep: the calls behind this one are answered meanwhile.
    QDBusConnection bus = connection;
    QTimer::singleShot(outcome.delay_ms, [bus, reply]() { bus.send(reply); });
  } else {
    connection.send(reply);
  }
  return true;
}

}  // namespace apxsim
