#include "report.h"

#include <cmath>

namespace apxsim {
namespace {

bool SameName(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// form|row|column, with a form name and numbers.
bool IsFieldAddress(std::string_view item) {
  const size_t a = item.find('|');
  if (a == std::string_view::npos || a == 0) return false;
  const size_t b = item.find('|', a + 1);
  if (b == std::string_view::npos) return false;
  return AllDigits(item.substr(a + 1, b - a - 1)) && AllDigits(item.substr(b + 1));
}

bool ReadStrings(const Json& json, std::vector<std::string>* out) {
  if (!json.is_array()) return false;
  for (const Json& item : json.array()) {
    if (!item.is_string()) return false;
    out->push_back(item.string());
  }
  return true;
}

bool ReadDelay(const Json& json, int* out) {
  if (!json.is_number() || json.number() < 0 || json.number() > 3600000) return false;
  *out = static_cast<int>(std::lround(json.number()));
  return true;
}

Json StringArray(const std::vector<std::string>& items) {
  JsonArray out;
  for (const std::string& s : items) out.push_back(Json{s});
  return Json{std::move(out)};
}

// Built in place: GCC 12 warns wrongly about moving a temporary numeric Json.
Json NumberJson(int n) {
  Json json;
  json.value.emplace<double>(n);
  return json;
}

}  // namespace

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ReportFile::Load(std::string_view text, std::string* error) {
  Json root;
  if (!ParseJson(text, &root, error)) return false;
  if (!root.is_object()) return *error = "the report file is not a JSON object", false;
  if (const Json* active = root.Find("activeReports")) {
    if (!active->is_string()) return *error = "activeReports is not a text", false;
    active_reports_ = active->string();
  }
  if (const Json* delay = root.Find("delayMs")) {
    if (!ReadDelay(*delay, &delay_ms_)) return *error = "delayMs is not a number of ms", false;
  }
  const Json* reports = root.Find("reports");
  if (reports == nullptr) return true;
  if (!reports->is_object()) return *error = "reports is not an object", false;
  for (const auto& [name, json] : reports->object()) {
    const std::string where = "report \"" + name + "\": ";
    if (name.empty()) return *error = "a report has no name", false;
    if (FindReport(name) != nullptr) return *error = where + "listed twice", false;
    if (!json.is_object()) return *error = where + "not an object", false;
    Report report;
    report.name = name;
    if (const Json* list = json.Find("listForms")) {
      if (!list->is_string()) return *error = where + "listForms is not a text", false;
      report.list_forms = list->string();
    }
    if (const Json* user = json.Find("userID")) {
      if (!user->is_string()) return *error = where + "userID is not a text", false;
      report.user_id = user->string();
    }
    if (const Json* forms = json.Find("forms"); forms && !ReadStrings(*forms, &report.forms)) {
      return *error = where + "forms is not a list of texts", false;
    }
    if (const Json* refuse = json.Find("refuse"); refuse && !ReadStrings(*refuse, &report.refuse)) {
      return *error = where + "refuse is not a list of texts", false;
    }
    if (const Json* fields = json.Find("fields")) {
      if (!fields->is_object()) return *error = where + "fields is not an object", false;
      for (const auto& [address, value] : fields->object()) {
        if (!value.is_string())
          return *error = where + "field " + address + " is not a text", false;
        report.fields.push_back({address, value.string()});
      }
    }
    if (const Json* delays = json.Find("delays")) {
      if (!delays->is_object()) return *error = where + "delays is not an object", false;
      for (const auto& [item, value] : delays->object()) {
        int ms = 0;
        if (!ReadDelay(value, &ms))
          return *error = where + "delay of " + item + " is not ms", false;
        report.delays.emplace_back(item, ms);
      }
    }
    reports_.push_back(std::move(report));
  }
  return true;
}

std::string ReportFile::ToJson() const {
  JsonObject root;
  if (active_reports_) root.emplace_back("activeReports", Json{*active_reports_});
  JsonObject reports;
  for (const Report& report : reports_) {
    JsonObject r;
    if (report.user_id) r.emplace_back("userID", Json{*report.user_id});
    if (report.list_forms) r.emplace_back("listForms", Json{*report.list_forms});
    r.emplace_back("forms", StringArray(report.forms));
    JsonObject fields;
    for (const Field& f : report.fields) fields.emplace_back(f.address, Json{f.value});
    r.emplace_back("fields", Json{std::move(fields)});
    if (!report.refuse.empty()) r.emplace_back("refuse", StringArray(report.refuse));
    if (!report.delays.empty()) {
      JsonObject delays;
      for (const auto& [item, ms] : report.delays) delays.emplace_back(item, NumberJson(ms));
      r.emplace_back("delays", Json{std::move(delays)});
    }
    reports.emplace_back(report.name, Json{std::move(r)});
  }
  root.emplace_back("reports", Json{std::move(reports)});
  if (delay_ms_) root.emplace_back("delayMs", NumberJson(delay_ms_));
  return WriteJson(Json{std::move(root)}) + "\n";
}

const ReportFile::Report* ReportFile::FindReport(std::string_view topic) const {
  for (const Report& report : reports_) {
    if (SameName(report.name, topic)) return &report;
  }
  return nullptr;
}

int ReportFile::DelayFor(const Report& report, std::string_view item) const {
  for (const auto& [name, ms] : report.delays) {
    if (SameName(name, item)) return delay_ms_ + ms;
  }
  return delay_ms_;
}

bool ReportFile::ServesTopic(std::string_view topic) const {
  return SameName(topic, "Query") || SameName(topic, "System") || FindReport(topic) != nullptr;
}

std::string LogLine(std::string_view op, std::string_view topic, const std::string* item,
                    const std::string* data) {
  std::string line = "{\"op\":\"" + std::string(op) + "\",\"topic\":" + JsonQuote(topic);
  if (item) line += ",\"item\":" + JsonQuote(*item);
  if (data) line += ",\"data\":" + JsonQuote(*data);
  return line + "}\n";
}

Reply ReportFile::Request(std::string_view topic, std::string_view item) const {
  Reply reply;
  reply.delay_ms = delay_ms_;
  if (SameName(topic, "Query")) {
    if (!SameName(item, "ActiveReports")) return {Outcome::kItemRefused, "unknown item", delay_ms_};
    if (active_reports_) {
      reply.text = *active_reports_;
    } else {
      for (const Report& report : reports_) reply.text += report.name + ",";
    }
    return reply;
  }
  if (SameName(topic, "System")) {
    if (SameName(item, "Topics")) {
      reply.text = "System\tQuery";
      for (const Report& report : reports_) reply.text += "\t" + report.name;
    } else if (SameName(item, "SysItems")) {
      reply.text = "SysItems\tTopics";
    } else {
      return {Outcome::kItemRefused, "unknown item", delay_ms_};
    }
    return reply;
  }
  const Report* report = FindReport(topic);
  if (report == nullptr) return {Outcome::kUnknownTopic, "no such report", delay_ms_};
  reply.delay_ms = DelayFor(*report, item);
  for (const std::string& refused : report->refuse) {
    if (SameName(refused, item)) return {Outcome::kItemRefused, "refused", reply.delay_ms};
  }
  if (SameName(item, "UserID")) {
    reply.text = report->user_id.value_or("apx-sim");
  } else if (SameName(item, "ListForms")) {
    if (report->list_forms) {
      reply.text = *report->list_forms;
    } else {
      for (const std::string& form : report->forms) reply.text += form + ",";
    }
  } else if (IsFieldAddress(item)) {
    reply.text = "\r\n";  // a field the file does not hold is empty
    for (const Field& field : report->fields) {
      if (SameName(field.address, item)) reply.text = field.value;
    }
  } else {
    return {Outcome::kItemRefused, "not a field address", reply.delay_ms};
  }
  return reply;
}

Reply ReportFile::Poke(std::string_view topic, std::string_view item, std::string_view data) {
  Report* report = const_cast<Report*>(FindReport(topic));
  if (report == nullptr) {
    if (SameName(topic, "Query") || SameName(topic, "System")) {
      return {Outcome::kPokeRefused, "nothing to poke on this topic", delay_ms_};
    }
    return {Outcome::kUnknownTopic, "no such report", delay_ms_};
  }
  const int delay = DelayFor(*report, item);
  if (!IsFieldAddress(item)) return {Outcome::kPokeRefused, "not a field address", delay};
  for (const std::string& refused : report->refuse) {
    if (SameName(refused, item)) return {Outcome::kPokeRefused, "refused", delay};
  }
  for (Field& field : report->fields) {
    if (SameName(field.address, item)) {
      field.value = std::string(data);
      return {Outcome::kOk, "", delay};
    }
  }
  report->fields.push_back({std::string(item), std::string(data)});
  return {Outcome::kOk, "", delay};
}

Reply ReportFile::Execute(std::string_view topic, std::string_view command) const {
  if (!SameName(topic, "System")) {
    if (FindReport(topic) == nullptr && !SameName(topic, "Query")) {
      return {Outcome::kUnknownTopic, "no such topic", delay_ms_};
    }
    return {Outcome::kExecuteFailed, "commands run on the System topic", delay_ms_};
  }
  // One or more bracketed commands, as "[RunMacro(CloseScn.bas)]", optionally ending in CR/LF.
  while (!command.empty() && (command.back() == '\r' || command.back() == '\n')) {
    command.remove_suffix(1);
  }
  if (command.empty()) return {Outcome::kExecuteFailed, "no command", delay_ms_};
  while (!command.empty()) {
    const size_t close = command.find(']');
    if (command[0] != '[' || close == std::string_view::npos || close == 1) {
      return {Outcome::kExecuteFailed, "not a bracketed command", delay_ms_};
    }
    command.remove_prefix(close + 1);
  }
  return {Outcome::kOk, "", delay_ms_};
}

}  // namespace apxsim
