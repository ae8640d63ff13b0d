#include "base/journal.h"

#include <charconv>
#include <map>

#include "base/json_string.h"
#include "base/text.h"

namespace xfr {

namespace {

std::string EncodeImage(const FieldTexts& fields) {
  std::string out = "{";
  for (const auto& [name, value] : fields) {
    if (out.size() > 1) out += ',';
    out += JsonQuote(name) + ":" + JsonQuote(value);
  }
  return out + "}";
}

// The JSON the journal writes: objects of strings, numbers, booleans, null and objects of
// strings. Every read is checked against the end of the text.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  struct Value {
    enum Kind { kNull, kBool, kNumber, kString, kObject } kind = kNull;
    bool flag = false;
    std::uint64_t number = 0;
    std::string text;
    FieldTexts members;  // an object of strings
  };

  bool Line(std::map<std::string, Value>* out) {
    if (!Expect('{')) return false;
    if (Peek() == '}') return Expect('}') && End();
    for (;;) {
      std::string key;
      Value value;
      if (!String(&key) || !Expect(':') || !Any(&value)) return false;
      (*out)[key] = std::move(value);
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      return Expect('}') && End();
    }
  }
  const std::string& error() const { return error_; }

 private:
  char Peek() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at character " + std::to_string(pos_ + 1);
    return false;
  }
  bool Expect(char c) {
    if (Peek() != c) return Fail(std::string("'") + c + "' expected");
    ++pos_;
    return true;
  }
  bool End() { return Peek() == '\0' && pos_ == text_.size() ? true : Fail("text after the end"); }
  bool Word(std::string_view w) {
    if (text_.substr(pos_, w.size()) != w) return Fail("unknown value");
    pos_ += w.size();
    return true;
  }
  bool Any(Value* v) {
    switch (Peek()) {
      case '"':
        v->kind = Value::kString;
        return String(&v->text);
      case '{':
        v->kind = Value::kObject;
        return Object(&v->members);
      case 'n':
        return Word("null");
      case 't':
        v->kind = Value::kBool;
        v->flag = true;
        return Word("true");
      case 'f':
        v->kind = Value::kBool;
        return Word("false");
      default: {
        v->kind = Value::kNumber;
        const char* begin = text_.data() + pos_;
        auto [end, ec] = std::from_chars(begin, text_.data() + text_.size(), v->number);
        if (ec != std::errc()) return Fail("a value expected");
        pos_ += static_cast<std::size_t>(end - begin);
        return true;
      }
    }
  }
  bool Object(FieldTexts* members) {
    if (!Expect('{')) return false;
    if (Peek() == '}') return Expect('}');
    for (;;) {
      std::string key, value;
      if (!String(&key) || !Expect(':') || !String(&value)) return false;
      members->emplace_back(std::move(key), std::move(value));
      if (Peek() != ',') return Expect('}');
      ++pos_;
    }
  }
  bool String(std::string* out) {
    if (Peek() != '"') return Expect('"');
    const char* fault = ReadJsonString(text_, &pos_, out);
    return fault ? Fail(fault) : true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string_view TextOf(const FieldTexts& fields, const std::string& name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return {};
}

}  // namespace

std::string EncodeJournalLine(const JournalLine& line) {
  std::string out =
      "{\"time\":" + JsonQuote(line.time) + ",\"workstation\":" + JsonQuote(line.workstation) +
      ",\"user\":" + JsonQuote(line.user) + ",\"transfer\":" + JsonQuote(line.transfer) +
      ",\"command\":" + JsonQuote(line.command) + ",\"file_num\":" + JsonQuote(line.file_num) +
      ",\"table\":" + JsonQuote(line.table) + ",\"record\":" + std::to_string(line.record) +
      ",\"stage\":" + (line.after_stage ? "\"after\"" : "\"before\"") +
      ",\"deleted\":" + (line.deleted ? "true" : "false");
  if (!line.after_stage) out += ",\"before\":" + (line.before ? EncodeImage(*line.before) : "null");
  return out + ",\"after\":" + EncodeImage(line.after) + "}";
}

bool DecodeJournalLine(std::string_view text, JournalLine* line, std::string* error) {
  Reader reader(text);
  std::map<std::string, Reader::Value> m;
  if (!reader.Line(&m)) {
    *error = reader.error();
    return false;
  }
  using V = Reader::Value;
  auto has = [&](const char* key, V::Kind kind) {
    auto it = m.find(key);
    if (it != m.end() && it->second.kind == kind) return true;
    *error = std::string("member \"") + key + "\" missing or of the wrong kind";
    return false;
  };
  std::string* texts[] = {&line->time,    &line->workstation, &line->user, &line->transfer,
                          &line->command, &line->file_num,    &line->table};
  const char* names[] = {"time", "workstation", "user", "transfer", "command", "file_num", "table"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    if (!has(names[i], V::kString)) return false;
    *texts[i] = m[names[i]].text;
  }
  if (!has("record", V::kNumber) || !has("stage", V::kString) || !has("deleted", V::kBool) ||
      !has("after", V::kObject)) {
    return false;
  }
  // Undo opens the table a line names: a file name of the data directory, nothing else.
  const std::string& table = line->table;
  if (table.find_first_of("/\\:") != std::string::npos || table.size() < 5 ||
      UCase(table.substr(table.size() - 4)) != ".DBF") {
    *error = "table \"" + line->table + "\" is not a table's file name";
    return false;
  }
  const std::uint64_t record = m["record"].number;
  if (record == 0 || record > 0xFFFFFFFFu) {
    *error = "record number out of range";
    return false;
  }
  line->record = static_cast<std::uint32_t>(record);
  const std::string& stage = m["stage"].text;
  if (stage != "before" && stage != "after") {
    *error = "stage \"" + stage + "\" is neither before nor after";
    return false;
  }
  line->after_stage = stage == "after";
  line->deleted = m["deleted"].flag;
  line->after = m["after"].members;
  line->before.reset();
  if (!line->after_stage) {
    auto it = m.find("before");
    if (it == m.end() || (it->second.kind != V::kNull && it->second.kind != V::kObject)) {
      *error = "member \"before\" missing or of the wrong kind";
      return false;
    }
    if (it->second.kind == V::kObject) line->before = it->second.members;
  }
  return true;
}

JournalText ParseJournal(std::string_view text) {
  JournalText out;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t eol = text.find('\n');
    std::string_view raw = text.substr(0, eol);
    const bool last = eol == std::string_view::npos;
    text = last ? std::string_view{} : text.substr(eol + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (raw.empty()) continue;
    JournalLine line;
    std::string why;
    if (DecodeJournalLine(raw, &line, &why)) {
      out.lines.push_back(std::move(line));
    } else if (last) {
      // A last line without its line end was being written when the writer stopped.
      out.note = "line " + std::to_string(number) + " was cut short (left out)";
    } else {
      out.error = "line " + std::to_string(number) + ": " + why;
      out.lines.clear();
      return out;
    }
  }
  return out;
}

std::string ListJournal(const std::vector<JournalLine>& lines) {
  std::string out;
  std::vector<std::string> order;  // transfers in the order of their first line
  std::map<std::string, std::vector<const JournalLine*>> by_transfer;
  for (const JournalLine& l : lines) {
    auto& group = by_transfer[l.transfer];
    if (group.empty()) order.push_back(l.transfer);
    group.push_back(&l);
  }
  for (const std::string& id : order) {
    const auto& group = by_transfer[id];
    const JournalLine& first = *group.front();
    out += first.time + "  " + first.command + " of file " + first.file_num + "  workstation " +
           first.workstation + "  user " + first.user + "\n";
    for (std::size_t i = 0; i < group.size(); ++i) {
      const JournalLine& w = *group[i];
      if (w.after_stage) continue;
      bool completed = false;
      for (std::size_t j = i + 1; j < group.size() && !completed; ++j) {
        completed =
            group[j]->after_stage && group[j]->table == w.table && group[j]->record == w.record;
      }
      const char* what = !w.before ? "added" : w.deleted ? "deleted" : "updated";
      out += "  " + w.table + " record " + std::to_string(w.record) + "  " + what +
             (completed ? "" : "  (not completed)") + "\n";
      if (w.deleted) continue;
      for (const auto& [name, value] : w.after) {
        const std::string old_value(w.before ? TextOf(*w.before, name) : "");
        if (old_value != value) {
          out += "    " + name + ": " + Quoted(old_value) + " -> " + Quoted(value) + "\n";
        }
      }
    }
  }
  return out;
}

}  // namespace xfr
