// The appraisal software as apx-sim plays it: the open reports of a report file, answering the
// requests, pokes and executes of the appraisal link. No D-Bus here; server.cc carries the
// outcomes over the bus.
//
// Topics: "Query" (item "ActiveReports"), "System" (executes; items "Topics", "SysItems"), and
// each report's name (items "UserID", "ListForms" and field addresses form|row|column). Topics,
// items and form names match without regard to case, as Windows DDE names do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json.h"

namespace apxsim {

enum class Outcome {
  kOk,
  kUnknownTopic,   // no such topic (on Windows: nobody answers the initiate)
  kItemRefused,    // a request the software will not answer
  kPokeRefused,    // a poke it will not take
  kExecuteFailed,  // a command it will not run
};

struct Reply {
  Outcome outcome = Outcome::kOk;
  std::string text;  // the answer of a request, or why it failed
  int delay_ms = 0;  // how long to hold the reply back
};

class ReportFile {
 public:
  // Loads the report file's JSON; false with a message on anything malformed.
  bool Load(std::string_view json, std::string* error);
  // The report file again, with the values poked since.
  std::string ToJson() const;

  // True for "Query", "System" and the name of an open report: the topics an initiate finds.
  bool ServesTopic(std::string_view topic) const;

  Reply Request(std::string_view topic, std::string_view item) const;
  Reply Poke(std::string_view topic, std::string_view item, std::string_view data);
  Reply Execute(std::string_view topic, std::string_view command) const;

 private:
  struct Field {
    std::string address;  // as the file or the first poke wrote it
    std::string value;
  };
  struct Report {
    std::string name;
    std::optional<std::string> list_forms;
    std::optional<std::string> user_id;
    std::vector<std::string> forms;
    std::vector<Field> fields;
    std::vector<std::string> refuse;
    std::vector<std::pair<std::string, int>> delays;
  };

  const Report* FindReport(std::string_view topic) const;
  int DelayFor(const Report& report, std::string_view item) const;

  std::optional<std::string> active_reports_;
  std::vector<Report> reports_;
  int delay_ms_ = 0;
};

// One line of the --log file (JSON, ending in a line feed): op "request", "poke" or "execute",
// the topic, and the item and data when the operation has them.
std::string LogLine(std::string_view op, std::string_view topic, const std::string* item,
                    const std::string* data);

// ASCII lower case, for matching names the way DDE does.
std::string Fold(std::string_view s);

}  // namespace apxsim
