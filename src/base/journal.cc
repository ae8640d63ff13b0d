#include "base/journal.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "base/json_string.h"
#include "base/text.h"
#include "platform/runtime_error.h"

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

}  // namespace

std::string_view TextOf(const FieldTexts& fields, std::string_view name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return {};
}

std::string EncodeJournalLine(const JournalLine& line) {
  std::string out =
      "{\"time\":" + JsonQuote(line.time) + ",\"workstation\":" + JsonQuote(line.workstation) +
      ",\"user\":" + JsonQuote(line.user) + ",\"transfer\":" + JsonQuote(line.transfer) +
      (line.seq ? ",\"seq\":" + std::to_string(line.seq) : "") +
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
  const auto seq = m.find("seq");
  if (seq != m.end() && (seq->second.kind != V::kNumber || seq->second.number > 0xFFFFFFFFu)) {
    *error = "member \"seq\" of the wrong kind";
    return false;
  }
  line->seq = seq == m.end() ? 0 : static_cast<std::uint32_t>(seq->second.number);
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

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// A line longer than this is not one the journal wrote (a record image is a few kilobytes).
constexpr std::size_t kMaxLine = 1 << 20;

std::string FileName(int k) {
  return "TRANSFER.LOG" + (k == 0 ? std::string() : "." + std::to_string(k));
}

// The lines of one file of the journal from its end, each without its line end, with the offset
// where it starts; empty lines are passed over.
class LinesFromEnd {
 public:
  LinesFromEnd(JournalFiles& files, int k, std::uint64_t size) : files_(files), k_(k), lo_(size) {}

  // False at the file's start, or with *too_long set at a line longer than kMaxLine.
  bool Next(std::string* line, std::uint64_t* offset, bool* ended, bool* too_long) {
    for (;;) {
      if (buf_.empty() && lo_ == 0) return false;
      std::size_t end = buf_.size();
      *ended = end > 0 && buf_[end - 1] == '\n';
      if (*ended) --end;
      const std::size_t nl = end == 0 ? std::string::npos : buf_.rfind('\n', end - 1);
      if (nl == std::string::npos && lo_ > 0) {
        if (end > kMaxLine) return !(*too_long = true);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, lo_));
        lo_ -= n;
        std::string chunk = files_.Read(k_, lo_, n);
        if (chunk.size() != n) {
          // Only a roll makes the journal shorter: what was read is no longer where it was.
          throw RuntimeError(75, FileName(k_) + " was rolled while it was read; try again");
        }
        buf_.insert(0, chunk);
        continue;
      }
      const std::size_t begin = nl == std::string::npos ? 0 : nl + 1;
      line->assign(buf_, begin, end - begin);
      *offset = lo_ + begin;
      buf_.resize(begin);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      if (!line->empty()) return true;
    }
  }

 private:
  JournalFiles& files_;
  int k_;
  std::uint64_t lo_;  // the file offset of buf_'s first byte
  std::string buf_;   // the bytes before the lines given so far
};

// The first line of file k (without its line end), to tell a copy a roll left behind.
std::string FirstLine(JournalFiles& files, int k) {
  std::string head = files.Read(k, 0, kChunk);
  return head.substr(0, head.find('\n'));
}

// "line N" (of a rolled copy: "line N of TRANSFER.LOG.k") for the line starting at `offset`.
std::string LineName(JournalFiles& files, int k, std::uint64_t offset) {
  std::size_t number = 1;
  for (std::uint64_t at = 0; at < offset; at += kChunk) {
    const std::string chunk =
        files.Read(k, at, static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, offset - at)));
    number += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
    if (chunk.empty()) break;
  }
  return "line " + std::to_string(number) + (k == 0 ? "" : " of " + FileName(k));
}

}  // namespace

JournalTail ReadLastTransfers(JournalFiles& files, std::size_t limit,
                              const std::function<bool(const JournalLine&)>& pick) {
  JournalTail out;
  struct Gathered {
    std::vector<JournalLine> lines;  // the newest first
    std::size_t order;               // when its last line was met
  };
  std::map<std::string, Gathered> open;
  std::vector<std::pair<std::size_t, JournalTransfer>> done;
  std::set<std::string> finished;
  std::size_t picked = 0, met = 0;
  auto finish = [&](std::map<std::string, Gathered>::iterator it, bool whole) {
    JournalTransfer t{{it->second.lines.rbegin(), it->second.lines.rend()}, whole};
    done.emplace_back(it->second.order, std::move(t));
    finished.insert(it->first);
    open.erase(it);
  };
  std::string newer_first;  // the first line of the newest file read so far
  for (int k = 0; k <= kJournalOldFiles && (picked < limit || !open.empty()); ++k) {
    std::uint64_t size = 0;
    if (!files.Size(k, &size) || size == 0) continue;
    const std::string first = FirstLine(files, k);
    // A roll copies the journal to TRANSFER.LOG.1 before it empties it: a copy that begins with
    // the newer file's first line is what a roll stopped before its end left behind.
    if (!newer_first.empty() && first == newer_first) continue;
    newer_first = first;
    LinesFromEnd lines(files, k, size);
    std::string text;
    std::uint64_t offset = 0;
    bool ended = true, too_long = false, last = true;
    while ((picked < limit || !open.empty()) && lines.Next(&text, &offset, &ended, &too_long)) {
      JournalLine line;
      std::string why;
      const bool decoded = DecodeJournalLine(text, &line, &why);
      if (!decoded && last && !ended) {
        // A last line without its line end was being written when its writer stopped.
        out.note = LineName(files, k, offset) + " was cut short (left out)";
        last = false;
        continue;
      }
      last = false;
      if (!decoded && text.find('\0') != std::string::npos) {
        // The journal never writes a NUL: the bytes a power cut left where a line was being
        // appended (a sector of it lost, another kept). No write of it had started.
        out.note = LineName(files, k, offset) + " was cut short by a power loss (left out)";
        continue;
      }
      if (!decoded) {
        out.error = LineName(files, k, offset) + ": " + why;
        return JournalTail{{}, out.note, out.error};
      }
      ++met;
      auto it = open.find(line.transfer);
      if (it == open.end()) {
        if (picked == limit || finished.count(line.transfer) || !pick(line)) continue;
        ++picked;
        it = open.emplace(line.transfer, Gathered{{}, met}).first;
      }
      it->second.lines.push_back(std::move(line));
      if (it->second.lines.back().seq == 1) finish(it, true);
    }
    if (too_long) {
      out.error = FileName(k) + " has a line longer than " + std::to_string(kMaxLine >> 20) +
                  " MiB, which the journal never writes";
      return JournalTail{{}, out.note, out.error};
    }
  }
  // What is still open reached the journal's start: whole when its lines are not numbered (they
  // were written before the numbers), else its first lines went with a copy let go.
  while (!open.empty()) finish(open.begin(), open.begin()->second.lines.back().seq == 0);
  std::sort(done.begin(), done.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, transfer] : done) out.transfers.push_back(std::move(transfer));
  return out;
}

namespace {

// Whether the write whose "before" line is group[i] has its "after" line later in the group.
bool Completed(const std::vector<const JournalLine*>& group, std::size_t i) {
  for (std::size_t j = i + 1; j < group.size(); ++j) {
    if (group[j]->after_stage && group[j]->table == group[i]->table &&
        group[j]->record == group[i]->record) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string UnfinishedTransferNote(const JournalTransfer& transfer) {
  std::vector<const JournalLine*> group;
  for (const JournalLine& l : transfer.lines) group.push_back(&l);
  const JournalLine* cut = nullptr;
  for (std::size_t i = 0; i < group.size() && !cut; ++i) {
    if (!group[i]->after_stage && !Completed(group, i)) cut = group[i];
  }
  if (!cut) return "";
  const JournalLine& first = *group.front();
  const bool read = first.command == "read";
  return "The last " + first.command + " of file " + first.file_num + " (made " + first.time +
         " on " + first.workstation + ") did not finish: it stopped at record " +
         std::to_string(cut->record) + " of " + cut->table +
         ", as when the power goes off or the computer stops. The tables are consistent, but " +
         (read ? "they hold only part of what the read wrote. Undo last read (transfer-info "
                 "undo " + first.file_num + ") puts back what it wrote; reading the job again "
                 "completes it instead."
               : "part of the read it was undoing is still in them. Undo last read again to put "
                 "back the rest.");
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
           first.workstation + "  user " + first.user +
           (first.seq > 1 ? "  (its first lines went with an old copy of the journal)" : "") +
           "\n";
    for (std::size_t i = 0; i < group.size(); ++i) {
      const JournalLine& w = *group[i];
      if (w.after_stage) continue;
      const bool completed = Completed(group, i);
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
