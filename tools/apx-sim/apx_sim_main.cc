// apx-sim: the stand-in appraisal program. Serves one DDE service on the session bus from a
// report file until it is stopped (SIGINT, SIGTERM) or the bus goes away.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "platform/dbus/dde_bus.h"
#include "report.h"
#include "server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

int Fail(const QString& message, int code) {
  std::fprintf(stderr, "apx-sim: %s\n", message.toLocal8Bit().constData());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("apx-sim"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Stand-in appraisal program: serves a DDE service on the D-Bus session bus "
                     "(object /dde/Conversation, interface dde.Conversation) from a JSON report "
                     "file, until stopped or until the bus goes away."));
  parser.addHelpOption();
  parser.addOption({QStringLiteral("service"),
                    QStringLiteral("DDE service name to serve (default APX, bus name dde.APX; see "
                                   "apx-sim(1))."),
                    QStringLiteral("name"), QStringLiteral("APX")});
  parser.addOption({QStringLiteral("log"),
                    QStringLiteral("Append one JSON line per request, poke and execute."),
                    QStringLiteral("file")});
  parser.addOption({QStringLiteral("dump"),
                    QStringLiteral("Write the report file with the poked values here on exit "
                                   "and on each dde.Simulator.Dump call."),
                    QStringLiteral("file")});
  parser.addPositionalArgument(QStringLiteral("report"), QStringLiteral("The JSON report file."));
  parser.process(app);

  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 1)
    return Fail(QStringLiteral("one report file expected (see --help)"), 2);

  QFile file(positional[0]);
  if (!file.open(QIODevice::ReadOnly)) {
    return Fail(positional[0] + QStringLiteral(": ") + file.errorString(), 2);
  }
  const QByteArray json = file.readAll();
  apxsim::ReportFile report;
  std::string error;
  if (!report.Load(std::string_view(json.constData(), static_cast<size_t>(json.size())), &error)) {
    return Fail(positional[0] + QStringLiteral(": ") + QString::fromStdString(error), 2);
  }

  const QByteArray service = parser.value(QStringLiteral("service")).toUtf8();
  const std::string bus_name =
      xfr::dde_bus::BusNameForService(std::string_view(service.constData(), service.size()));
  if (bus_name.empty()) return Fail(QStringLiteral("cannot serve that service name"), 2);

  std::FILE* log = nullptr;
  if (parser.isSet(QStringLiteral("log"))) {
    log = std::fopen(QFile::encodeName(parser.value(QStringLiteral("log"))).constData(), "ab");
    if (log == nullptr) return Fail(QStringLiteral("cannot open the log file"), 2);
  }

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return Fail(QStringLiteral("no session bus"), 3);

  apxsim::ConversationServer server(&report, log, parser.value(QStringLiteral("dump")));
  if (!bus.registerVirtualObject(QString::fromLatin1(xfr::dde_bus::kObjectPath), &server)) {
    return Fail(QStringLiteral("cannot register the conversation object"), 3);
  }
  const QString name = QString::fromStdString(bus_name);
  const auto registered =
      bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  if (!registered.isValid() || registered.value() != QDBusConnectionInterface::ServiceRegistered) {
    return Fail(name + QStringLiteral(" is already served"), 3);
  }

  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  int exit_code = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (g_stop) {
      QCoreApplication::quit();
    } else if (!bus.isConnected()) {
      // The session is over: a normal end.
      std::fprintf(stderr, "apx-sim: the session bus went away\n");
      QCoreApplication::quit();
    }
  });
  watch.start(100);

  std::fprintf(stderr, "apx-sim: serving %s from %s\n", bus_name.c_str(),
               positional[0].toLocal8Bit().constData());
  app.exec();

  if (parser.isSet(QStringLiteral("dump")) && !server.WriteDump()) {
    exit_code = Fail(QStringLiteral("cannot write the dump file"), 4);
  }
  if (log) std::fclose(log);
  return exit_code;
}
