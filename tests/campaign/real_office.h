// An office whose tracking tables are real FoxPro files (fixture copies through the table engine,
// optionally over a fault-injecting file layer), with the fakes' report and window. One object is
// one start of the program. Also the checks the campaign tests share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakes/harness.h"
#include "form/main_window.h"
#include "platform/tables/table_journal.h"
#include "platform/tables/xbase_table.h"
#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/foreign_lock.h"
#include "platform/xbase/table_test_util.h"
#include "support/office_tables.h"
#include "transfer/read_driver.h"
#include "transfer/read_office.h"
#include "transfer/undo.h"

namespace xfr::campaign {

namespace fs = std::filesystem;
using xbase::table_testing::Slurp;
using xbase::table_testing::TempDir;

using testing::CopyTrackingTables;
inline const std::vector<std::string> TableNames() { return {"PROPERTY", "CLIENT", "INVOICE"}; }

// How a start, a command or an unload ended.
enum class Ended { kNormally, kEndProgram, kEscaped };

inline const char* EndedName(Ended e) {
  static const char* const kNames[] = {"normally", "program ended", "exception escaped"};
  return kNames[static_cast<int>(e)];
}

class RealOffice : public testing::Harness {
 public:
  // dir: the data directory with the tables; env: the engine's file layer (nullptr: the real one).
  // The writes of a read or an undo are journalled in dir's TRANSFER.LOG through env, rolled at
  // `roll_bytes`.
  RealOffice(std::string dir, xbase::Env* env = nullptr,
             std::uint64_t roll_bytes = TableJournal::kRollBytes)
      : dir_(std::move(dir)),
        journal_(
            [this](std::string_view, std::string_view f) { return dir_ + "/" + std::string(f); },
            env, &clock, "TEST-PC", "tester", roll_bytes),
        tables_(testing::TablesIn(dir_), env, &journal_),
        app_(Services{&ini, &files, &clock, &window, &tables_, &dde, &instance, &journal_}, "") {
    window.error_default = Answer::kAbort;
    testing::SetUpRead(ini, dde);
  }
  ~RealOffice() {
    if (form_ && !form_->unloaded) Close();
  }

  Ended Start() {
    form_ = std::make_unique<MainWindow>(app_);
    return Run([&] {
      Initialize(app_);
      frmMainForm_Load(*form_);
    });
  }
  Ended Activate() {  // the window's first activation
    return Run([&] { Form_Activate(*form_); });
  }
  Ended Read() {
    return Run([&] { CmdRead_Click(*form_); });
  }
  Ended Undo(UndoOutcome* outcome, std::string_view file_num = "") {
    return Run([&] { *outcome = UndoLastRead(app_, file_num); });
  }
  Ended Close() {
    return Run([&] { Form_Unload(*form_); });
  }
  FrmMain& form() { return *form_; }

  std::string Boxes() const {  // every box's text, joined by " | "
    std::string out;
    for (const auto& b : window.boxes) out += (out.empty() ? "" : " | ") + b.text;
    return out;
  }

  std::string escaped;  // what a run-time error or exception that escaped said

 private:
  template <typename F>
  Ended Run(F f) {
    try {
      f();
      return Ended::kNormally;
    } catch (const EndProgram&) {
      return Ended::kEndProgram;
    } catch (const std::exception& e) {  // a run-time error among them
      escaped = e.what();
      return Ended::kEscaped;
    }
  }

  std::string dir_;
  TableJournal journal_;
  XbaseTableService tables_;
  App app_;
  std::unique_ptr<FrmMain> form_;
};

// The engine's check of the three tables in dir: "" when all pass, else the first fault of
// each failing table ("CLIENT.DBF: ...").
inline std::string CheckTables(const std::string& dir) {
  std::string faults;
  for (const std::string& t : TableNames()) {
    std::vector<std::string> report;
    xbase::Status s = xbase::CheckTable(xbase::Env::Default(), dir + "/" + t + ".DBF", &report);
    if (s.ok()) continue;
    if (!faults.empty()) faults += "; ";
    faults += t + ".DBF: " + s.ToString();
  }
  return faults;
}

inline std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename()] = Slurp(e.path());
  return files;
}

// "" when every record the original tables in `before` held is byte for byte the same in
// `after`, and the header too but for its date and record count (which may only grow); else the
// tables that differ.
inline std::string ComparePreExisting(const std::string& before, const std::string& after) {
  std::string diffs;
  for (const std::string& t : TableNames()) {
    const std::string old_bytes = Slurp(before + "/" + t + ".DBF");
    const std::string new_bytes = Slurp(after + "/" + t + ".DBF");
    const char* o = old_bytes.data();
    const std::size_t end = old_bytes.size() < 32 ? 0
                            : xbase::DecodeFixed16LE(o + 8) +
                                  xbase::DecodeFixed32LE(o + 4) * xbase::DecodeFixed16LE(o + 10);
    if (end == 0 || new_bytes.size() < end || new_bytes[0] != old_bytes[0] ||
        new_bytes.compare(8, end - 8, old_bytes, 8, end - 8) != 0 ||
        xbase::DecodeFixed32LE(new_bytes.data() + 4) < xbase::DecodeFixed32LE(o + 4)) {
      diffs += t + ".DBF changed; ";
    }
  }
  return diffs;
}

// Every record of each table (found in any letter case), as the texts of its fields trimmed on
// the right, the deletion mark ("*" or "") first; a table that does not open is left out.
using TableDump = std::map<std::string, std::vector<std::vector<std::string>>>;

inline TableDump DumpTables(const std::string& dir) {
  TableDump dump;
  for (const std::string& name : TableNames()) {
    std::unique_ptr<xbase::Table> t;
    std::uint32_t count = 0;
    if (!xbase::Table::Open(xbase::Env::Default(), testing::TablesIn(dir)("", name + ".DBF"),
                            {.read_only = true}, &t)
             .ok() ||
        !t->RecordCount(&count).ok())
      continue;
    auto& rows = dump[name];
    xbase::Record rec = t->NewRecord();
    for (std::uint32_t r = 1; r <= count && t->Read(r, &rec).ok(); ++r) {
      rows.emplace_back(1, rec.deleted() ? "*" : "");
      for (std::size_t f = 0; f < t->layout().fields().size(); ++f) {
        std::string v = rec.Text(static_cast<int>(f));
        v.erase(v.find_last_not_of(' ') + 1);
        rows.back().push_back(t->layout().fields()[f].name + "=" + v);
      }
    }
  }
  return dump;
}

// Live records of `table` in dir holding `field_is` ("FILE_NUM=NEW-01").
inline int CountLive(const std::string& dir, const std::string& table,
                     const std::string& field_is) {
  int n = 0;
  TableDump dump = DumpTables(dir);
  for (const auto& row : dump[table])
    n += row[0].empty() && std::find(row.begin(), row.end(), field_is) != row.end();
  return n;
}

inline int LiveAppended(const std::string& before, const std::string& after) {
  const TableDump old_rows = DumpTables(before);
  int live = 0;
  for (auto& [name, rows] : DumpTables(after)) {
    const std::size_t old_count = old_rows.count(name) ? old_rows.at(name).size() : 0;
    for (std::size_t r = old_count; r < rows.size(); ++r) live += rows[r][0].empty();
  }
  return live;
}

// What changed from `before` to `after`, record by record: "PROPERTY 2 PR_STREET=1200 Main St"
// for each changed field, "CLIENT +16 CLI_NUM=NEW01" (the first field) for each new record.
inline std::vector<std::string> Changes(const TableDump& before, const TableDump& after) {
  std::vector<std::string> out;
  for (const auto& [name, rows] : after) {
    const auto it = before.find(name);
    const std::size_t old_count = it == before.end() ? 0 : it->second.size();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::string at = name + " " + (r < old_count ? "" : "+") + std::to_string(r + 1) + " ";
      if (r >= old_count) {
        // The key, and the client a new property names.
        std::string line = at + rows[r][1];
        for (const std::string& f : rows[r]) {
          if (name == "PROPERTY" && f.rfind("CLI_NUM=", 0) == 0) line += " " + f;
        }
        out.push_back(line);
        continue;
      }
      for (std::size_t f = 0; f < rows[r].size(); ++f) {
        if (rows[r][f] != it->second[r][f]) out.push_back(at + (f ? rows[r][f] : "deleted"));
      }
    }
  }
  return out;
}

// Sets fields of record `recno` (or appends a record when recno is 0) as another program would,
// through `env`; the record's number, 0 when it could not be written.
inline std::uint32_t WriteRecord(const std::string& dbf, std::uint32_t recno,
                                 const std::vector<std::pair<std::string, std::string>>& fields,
                                 xbase::Env* env = xbase::Env::Default()) {
  std::unique_ptr<xbase::Table> t;
  if (!xbase::Table::Open(env, dbf, {}, &t).ok()) return 0;
  xbase::Record rec = t->NewRecord();
  for (const auto& [field, value] : fields) {
    if (!rec.SetText(t->FindField(field), value).ok()) return 0;
  }
  return (recno == 0 ? t->Append(rec, &recno) : t->Update(recno, rec)).ok() ? recno : 0;
}

}  // namespace xfr::campaign
