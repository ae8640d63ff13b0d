// The D-Bus side of apx-sim: the object /dde/Conversation with the interface dde.Conversation
// (Request, Poke, Execute; protocol in doc/dde_dbus.md) and the helper interface dde.Simulator
// (Dump). Replies that the report file holds back are sent later from a timer, so a slow item
// never blocks the calls behind it.
#pragma once

#include <QDBusVirtualObject>
#include <QString>
#include <cstdio>
#include <string>

#include "report.h"

namespace apxsim {

class ConversationServer : public QDBusVirtualObject {
 public:
  // REQUIRES: report outlives the server. log may be null; dump_path may be empty.
  ConversationServer(ReportFile* report, std::FILE* log, QString dump_path);

  // Writes the report file with its poked values to the dump path; false when it cannot.
  bool WriteDump() const;

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  void Log(const char* op, const std::string& topic, const std::string* item,
           const std::string* data) const;

  ReportFile* report_;
  std::FILE* log_;
  QString dump_path_;
};

}  // namespace apxsim
