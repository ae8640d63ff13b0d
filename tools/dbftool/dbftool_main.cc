// dbftool: inspect, check and correct FoxPro tables from the command line, through the same
// locked, index-maintaining engine as the program.
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/journal.h"
#include "base/text.h"
#include "platform/runtime_error.h"
#include "platform/tables/table_journal.h"
#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/reindex.h"
#include "platform/xbase/table.h"

namespace {

using xbase::Status;
using xfr::JsonQuote;

const char kUsage[] =
    "usage: dbftool COMMAND ...\n"
    "  --help, --version              prints this usage, or the version\n"
    "  info FILE                      structure, code page, tags and their expressions\n"
    "  dump FILE                      records as JSON lines (\"_recno\", \"_deleted\" added),\n"
    "                                 memo fields as their text\n"
    "  seek FILE TAG KEY              prints the live record found as dump does, exit 1 when\n"
    "                                 none; KEY is blank-padded or cut to the key length\n"
    "  append [--truncate] [--sync] FILE FIELD=VALUE...\n"
    "                                 appends a record; unnamed fields stay blank\n"
    "  set [--truncate] [--sync] FILE RECNO FIELD=VALUE...\n"
    "                                 changes fields of a record\n"
    "  delete [--sync] FILE RECNO     marks a record deleted\n"
    "  recall [--sync] FILE RECNO     takes the deleted mark off a record\n"
    "  check DIR|FILE                 checks tables and every index tag; exit 0 when consistent\n"
    "  reindex FILE                   rebuilds every tag of the structural index from the\n"
    "                                 records (close the table in every program first)\n"
    "  journal [--last N] DIR         lists the last N (default 100) transfers of the transfer\n"
    "                                 journal TRANSFER.LOG in DIR (and its rolled copies\n"
    "                                 TRANSFER.LOG.1 to .3): one block a transfer, one line a\n"
    "                                 record written, its changed fields old -> new; exit 1 when\n"
    "                                 it is missing or damaged\n"
    "Values are UTF-8 text; dates YYYY-MM-DD, logicals T or F, numbers as decimal text.\n"
    "A text longer than its field, or with characters the table's code page cannot hold, is\n"
    "refused and nothing is written; with --truncate it is cut and such characters become \"?\".\n"
    "Writes take FoxPro's locks and keep every index tag in step. With --sync (append, set,\n"
    "delete, recall) each write is on the disk, whole, before dbftool ends, whatever a power\n"
    "cut keeps: it goes through the table's write-ahead file NAME.WAL first.\n";

int Fail(const Status& s) {
  std::fprintf(stderr, "dbftool: %s\n", s.ToString().c_str());
  return 1;
}

// --sync: the writes go through the table's write-ahead file and are synced.
bool sync_writes = false;

Status OpenTable(const std::string& path, bool read_only, std::unique_ptr<xbase::Table>* table) {
  xbase::TableOptions options;
  options.read_only = read_only;
  options.sync = !read_only && sync_writes;
  return xbase::Table::Open(xbase::Env::Default(), path, options, table);
}

// The FPT memo file beside a table, read block by block. A memo that cannot be read as text is
// shown as {"damaged memo": "why"}, which no text value looks like.
class MemoFile {
 public:
  explicit MemoFile(const std::string& dbf_path)
      : path_(xbase::SiblingPath(xbase::Env::Default(), dbf_path, ".FPT")) {
    Status s = xbase::Env::Default()->OpenFile(path_, true, &file_);
    if (!s.ok()) {
      problem_ = "cannot open " + path_ + ": " + s.message();
      return;
    }
    char head[8];
    std::size_t got = 0;
    s = file_->ReadAt(0, sizeof head, head, &got);
    if (s.ok()) s = file_->Size(&size_);
    if (!s.ok()) {
      problem_ = "cannot read " + path_ + ": " + s.message();
    } else if (got < sizeof head || size_ < 512) {
      problem_ = path_ + " is shorter than its 512-byte header";
    } else if ((block_size_ = xbase::DecodeFixed16BE(head + 6)) == 0) {
      problem_ = path_ + " has block size 0";
    }
  }

  // The JSON value of a memo field whose pointer (block number as text) is `raw`.
  std::string Text(std::string_view raw, const xbase::CodePage& code_page) {
    std::string digits;
    for (char c : raw) {
      if (c != ' ' && c != '\0') digits.push_back(c);
    }
    if (digits.empty()) return "\"\"";
    if (digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return Damaged("pointer \"" + digits + "\" is not a block number");
    }
    const std::uint64_t block = std::stoul(digits);
    if (block == 0) return "\"\"";
    if (!problem_.empty()) return Damaged(problem_);
    const std::string where = "block " + digits;
    const std::uint64_t offset = block * block_size_;
    if (block * block_size_ < 512 || offset + 8 > size_) {
      return Damaged(where + " lies outside " + path_);
    }
    char head[8];
    std::size_t got = 0;
    Status s = file_->ReadAt(offset, sizeof head, head, &got);
    if (!s.ok() || got != sizeof head) return Damaged(where + " cannot be read");
    const std::uint32_t type = xbase::DecodeFixed32BE(head);
    const std::uint32_t length = xbase::DecodeFixed32BE(head + 4);
    if (type != 1) return Damaged(where + " holds type " + std::to_string(type) + ", not text");
    if (length > size_ - offset - 8)
      return Damaged(where + ": its length runs past the file's end");
    std::string text(length, '\0');
    s = file_->ReadAt(offset + 8, length, text.data(), &got);
    if (!s.ok() || got != length) return Damaged(where + " cannot be read");
    return JsonQuote(code_page.ToUtf8(text));
  }

 private:
  static std::string Damaged(const std::string& why) {
    return "{\"damaged memo\": " + JsonQuote(why) + "}";
  }

  std::string path_;
  std::unique_ptr<xbase::File> file_;
  std::uint64_t size_ = 0;
  std::uint32_t block_size_ = 0;
  std::string problem_;
};

// A record as one JSON line, with "_recno" and "_deleted" added.
std::string JsonValue(const xbase::Record& rec, int f, MemoFile* memo);

std::string JsonLine(const xbase::Record& rec, std::uint32_t recno, MemoFile* memo) {
  std::string line = "{\"_recno\": " + std::to_string(recno) +
                     ", \"_deleted\": " + (rec.deleted() ? "true" : "false");
  const auto& fields = rec.layout().fields();
  for (std::size_t f = 0; f < fields.size(); ++f) {
    line += ", " + JsonQuote(fields[f].name) + ": " + JsonValue(rec, static_cast<int>(f), memo);
  }
  return line + "}";
}

std::string JsonValue(const xbase::Record& rec, int f, MemoFile* memo) {
  const xbase::DbfField& field = rec.layout().fields()[f];
  switch (field.type) {
    case 'N':
    case 'F': {
      double v = 0;
      if (!rec.Number(f, &v)) return "null";
      return xbase::FormatFixed(v, field.decimals);
    }
    case 'D': {
      xbase::DbfDate d;
      if (!rec.Date(f, &d)) return "null";
      char buf[16];
      std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02d\"", d.year, d.month, d.day);
      return buf;
    }
    case 'L': {
      bool b = false;
      if (!rec.Logical(f, &b)) return "null";
      return b ? "true" : "false";
    }
    case 'M':
      return memo ? memo->Text(rec.Raw(f), rec.code_page()) : JsonQuote(rec.Text(f));
    default:
      return JsonQuote(rec.Text(f));  // leading blanks are part of the value
  }
}

int Info(const std::string& path) {
  std::unique_ptr<xbase::Table> table;
  Status s = OpenTable(path, true, &table);
  if (!s.ok()) return Fail(s);
  const auto& h = table->layout().header();
  std::printf("%s\n  version 0x%02X, last update %04d-%02d-%02d, %u records\n", path.c_str(),
              h.version, h.year, h.month, h.day, h.record_count);
  std::printf("  header %u bytes, record %u bytes, code page mark 0x%02X (%d), flags 0x%02X\n",
              h.header_length, h.record_length, h.code_page, table->code_page().number(), h.flags);
  std::printf("  fields:\n");
  for (const auto& f : table->layout().fields()) {
    std::printf("    %-10s %c %3d %2d  (offset %d)\n", f.name.c_str(), f.type, f.length, f.decimals,
                f.offset);
  }
  if (!table->cdx()) {
    std::printf("  no structural index\n");
    return 0;
  }
  std::printf("  tags:\n");
  for (std::size_t i = 0; i < table->tags().size(); ++i) {
    const auto& t = table->tags()[i];
    std::printf("    %-10s key %s%s%s  length %d%s%s%s\n", t.name.c_str(), t.key_expr.c_str(),
                t.for_expr.empty() ? "" : "  for ", t.for_expr.c_str(), t.key_length,
                t.descending ? " descending" : "", t.unique ? " unique" : "",
                t.machine_collation ? "" : (" collation " + t.collation).c_str());
    const Status& ts = table->tag_status(static_cast<int>(i));
    if (!ts.ok()) std::printf("      not maintained: %s\n", ts.message().c_str());
  }
  if (!table->writable().ok())
    std::printf("  writes refused: %s\n", table->writable().message().c_str());
  return 0;
}

int Dump(const std::string& path) {
  std::unique_ptr<xbase::Table> table;
  Status s = OpenTable(path, true, &table);
  if (!s.ok()) return Fail(s);
  std::uint32_t count = 0;
  s = table->RecordCount(&count);
  if (!s.ok()) return Fail(s);
  xbase::Record rec = table->NewRecord();
  std::unique_ptr<MemoFile> memo;
  if (table->layout().has_memo()) memo = std::make_unique<MemoFile>(path);
  for (std::uint32_t r = 1; r <= count; ++r) {
    s = table->Read(r, &rec);
    if (!s.ok()) return Fail(s);
    std::printf("%s\n", JsonLine(rec, r, memo.get()).c_str());
  }
  return 0;
}

int Seek(const std::string& path, const std::string& tag_name, const std::string& key) {
  std::unique_ptr<xbase::Table> table;
  Status s = OpenTable(path, true, &table);
  if (!s.ok()) return Fail(s);
  int tag = table->FindTag(tag_name);
  if (tag < 0) return Fail(Status::NotFound(path + " has no index tag " + tag_name));
  bool found = false;
  std::uint32_t recno = 0;
  s = table->Seek(tag, key, &found, &recno);
  if (!s.ok()) return Fail(s);
  if (!found) return 1;
  xbase::Record rec = table->NewRecord();
  s = table->Read(recno, &rec);
  if (!s.ok()) return Fail(s);
  std::unique_ptr<MemoFile> memo;
  if (table->layout().has_memo()) memo = std::make_unique<MemoFile>(path);
  std::printf("%s\n", JsonLine(rec, recno, memo.get()).c_str());
  return 0;
}

// Without `truncate`, a character value must fit its field and hold only characters of the
// table's code page; otherwise nothing is written.
Status Assign(xbase::Table* table, xbase::Record* rec, const std::vector<std::string>& args,
              bool truncate) {
  for (const std::string& a : args) {
    std::size_t eq = a.find('=');
    if (eq == std::string::npos || eq == 0) {
      return Status::InvalidArgument("\"" + a + "\" is not FIELD=VALUE");
    }
    int f = table->FindField(a.substr(0, eq));
    if (f < 0) return Status::NotFound(table->path() + " has no field " + a.substr(0, eq));
    const xbase::DbfField& field = table->layout().fields()[f];
    const std::string value = a.substr(eq + 1);
    if (field.type == 'C' && !truncate) {
      const std::string bytes = table->code_page().FromUtf8(value);
      if (table->code_page().ToUtf8(bytes) != value) {
        return Status::InvalidArgument(
            field.name + ": \"" + value + "\" has characters code page " +
            std::to_string(table->code_page().number()) +
            " cannot hold; nothing written (--truncate writes them as \"?\")");
      }
      if (bytes.size() > static_cast<std::size_t>(field.length)) {
        return Status::InvalidArgument(
            field.name + ": \"" + value + "\" is " + std::to_string(bytes.size()) +
            " characters long, the field holds " + std::to_string(field.length) +
            "; nothing written (--truncate cuts it)");
      }
    }
    Status s = rec->SetFromString(f, value);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

int Append(const std::string& path, const std::vector<std::string>& args, bool truncate) {
  std::unique_ptr<xbase::Table> table;
  Status s = OpenTable(path, false, &table);
  if (!s.ok()) return Fail(s);
  xbase::Record rec = table->NewRecord();
  s = Assign(table.get(), &rec, args, truncate);
  if (!s.ok()) return Fail(s);
  std::uint32_t recno = 0;
  s = table->Append(rec, &recno);
  if (!s.ok()) return Fail(s);
  std::printf("%u\n", recno);
  return 0;
}

// Changes fields of a record (`args`), or with `deleted` its deleted flag, through the locked
// edit that keeps every tag in step (a FOR condition on DELETED() included).
int Set(const std::string& path, const std::string& recno_text,
        const std::vector<std::string>& args, bool truncate, const bool* deleted = nullptr) {
  char* end = nullptr;
  unsigned long recno = std::strtoul(recno_text.c_str(), &end, 10);
  if (recno_text.empty() || *end != '\0' || recno == 0 || recno > 0xFFFFFFFFul) {
    return Fail(Status::InvalidArgument("\"" + recno_text + "\" is not a record number"));
  }
  std::unique_ptr<xbase::Table> table;
  Status s = OpenTable(path, false, &table);
  if (!s.ok()) return Fail(s);
  xbase::Record changes = table->NewRecord();
  s = Assign(table.get(), &changes, args, truncate);
  if (!s.ok()) return Fail(s);
  if (deleted) changes.SetDeleted(*deleted);
  s = table->Update(static_cast<std::uint32_t>(recno), changes);
  if (!s.ok()) return Fail(s);
  return 0;
}

bool IsDirectory(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (!d) return false;
  closedir(d);
  return true;
}

// TRANSFER.LOG and its rolled copies in `dir`, in whatever letter case the directory has them
// ("" when there is no such file).
std::function<std::string(std::string_view)> JournalPathOf(const std::string& dir) {
  return [dir](std::string_view name) {
    std::string path;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) {
        if (xfr::UCase(e->d_name) == name) path = dir + "/" + e->d_name;
      }
      ::closedir(d);
    }
    return path;
  };
}

// The last transfer of each workstation among the journal's last ones, when it did not finish:
// one "NOTE" line each. Nothing when there is no journal or it cannot be read (`journal` says why).
void NoteUnfinishedTransfers(const std::string& dir) {
  const auto path_of = JournalPathOf(dir);
  const std::string path = path_of(xfr::kJournalName);
  if (path.empty()) return;
  xfr::JournalTail tail;
  try {
    tail = xfr::ReadLastTransfers(*xfr::JournalFilesIn(nullptr, path_of, path), 20,
                                  [](const xfr::JournalLine&) { return true; });
  } catch (const xfr::RuntimeError&) {
    return;
  }
  std::set<std::string> seen;
  for (const xfr::JournalTransfer& t : tail.transfers) {
    if (!seen.insert(t.lines.back().workstation).second) continue;
    const std::string note = xfr::UnfinishedTransferNote(t);
    if (!note.empty()) std::printf("NOTE %s\n", note.c_str());
  }
}

int Check(const std::string& path) {
  std::vector<std::string> files;
  if (IsDirectory(path)) {
    DIR* d = opendir(path.c_str());
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 4) {
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext == ".DBF") files.push_back(path + "/" + name);
      }
    }
    closedir(d);
    NoteUnfinishedTransfers(path);
    std::sort(files.begin(), files.end());
    if (files.empty()) {
      std::printf("FAULT: no .DBF files in %s\n", path.c_str());
      return 1;
    }
  } else {
    files.push_back(path);
  }
  for (const std::string& f : files) {
    std::vector<std::string> report;
    Status s = xbase::CheckTable(xbase::Env::Default(), f, &report);
    for (const std::string& line : report) std::printf("%s\n", line.c_str());
    if (!s.ok()) {
      std::printf("%s %s\n", s.code() == Status::Code::kNotSupported ? "UNSUPPORTED" : "FAULT",
                  s.message().c_str());
      return s.code() == Status::Code::kNotSupported ? 2 : 1;
    }
  }
  std::printf("ALL CONSISTENT (%zu tables)\n", files.size());
  return 0;
}

int Reindex(const std::string& path) {
  xbase::TableOptions options;
  options.sync = true;
  xbase::ReindexResult result;
  Status s = xbase::Reindex(path, options, &result);
  xbase::Env* env = xbase::Env::Default();
  const std::string cdx = xbase::SiblingPath(env, path, ".CDX");
  if (s.code() == Status::Code::kNotFound && env->FileExists(path) && !env->FileExists(cdx)) {
    // The tags' expressions live in the index itself: without it there is nothing to rebuild.
    Fail(s);
    std::fprintf(stderr,
                 "note: reindex rebuilds an index that exists, keeping the tags' expressions "
                 "from it, and %s is not there. Put it back from a backup, or make it with the "
                 "tracking program's rebuild; then run 'dbftool check' on the folder.\n",
                 cdx.c_str());
    return 1;
  }
  if (!s.ok()) return Fail(s);
  std::printf("%s: %d tags rebuilt from %u records\n", path.c_str(), result.tags, result.records);
  return 0;
}

int Journal(const std::string& dir, std::size_t last) {
  const auto path_of = JournalPathOf(dir);
  const std::string path = path_of(xfr::kJournalName);
  if (path.empty()) {
    std::fprintf(stderr, "dbftool: no transfer journal TRANSFER.LOG in %s\n", dir.c_str());
    return 1;
  }
  xfr::JournalTail tail;
  try {
    tail = xfr::ReadLastTransfers(*xfr::JournalFilesIn(nullptr, path_of, path), last,
                                  [](const xfr::JournalLine&) { return true; });
  } catch (const xfr::RuntimeError& e) {
    std::fprintf(stderr, "dbftool: %s\n", e.description().c_str());
    return 1;
  }
  if (!tail.error.empty()) {
    std::fprintf(stderr, "dbftool: %s is damaged: %s\n", path.c_str(), tail.error.c_str());
    return 1;
  }
  // Oldest first, as they were written.
  std::vector<xfr::JournalLine> lines;
  for (auto t = tail.transfers.rbegin(); t != tail.transfers.rend(); ++t) {
    lines.insert(lines.end(), t->lines.begin(), t->lines.end());
  }
  std::fputs(xfr::ListJournal(lines).c_str(), stdout);
  if (!tail.note.empty()) std::printf("note: %s\n", tail.note.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version" && args.size() == 1) {
    std::puts("dbftool 5.1.2");
    return 0;
  }
  const std::string& cmd = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (cmd == "append" || cmd == "set" || cmd == "delete" || cmd == "recall") {
    const auto flag = std::find(rest.begin(), rest.end(), "--sync");
    sync_writes = flag != rest.end();
    if (sync_writes) rest.erase(flag);
  }
  if (cmd == "info" && rest.size() == 1) return Info(rest[0]);
  if (cmd == "dump" && rest.size() == 1) return Dump(rest[0]);
  if (cmd == "seek" && rest.size() == 3) return Seek(rest[0], rest[1], rest[2]);
  if (cmd == "append" || cmd == "set") {
    const auto flag = std::find(rest.begin(), rest.end(), "--truncate");
    const bool truncate = flag != rest.end();
    if (truncate) rest.erase(flag);
    if (cmd == "append" && !rest.empty()) {
      return Append(rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()), truncate);
    }
    if (cmd == "set" && rest.size() >= 2) {
      return Set(rest[0], rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()),
                 truncate);
    }
  }
  if ((cmd == "delete" || cmd == "recall") && rest.size() == 2) {
    const bool deleted = cmd == "delete";
    return Set(rest[0], rest[1], {}, false, &deleted);
  }
  if (cmd == "check" && rest.size() == 1) return Check(rest[0]);
  if (cmd == "reindex" && rest.size() == 1) return Reindex(rest[0]);
  if (cmd == "journal" && rest.size() == 3 && rest[0] == "--last") {
    char* end = nullptr;
    const unsigned long n = std::strtoul(rest[1].c_str(), &end, 10);
    if (!rest[1].empty() && *end == '\0' && n > 0 && n <= 1000000) return Journal(rest[2], n);
  }
  if (cmd == "journal" && rest.size() == 1) return Journal(rest[0], 100);
  std::fputs(kUsage, stderr);
  return 2;
}
