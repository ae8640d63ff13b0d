// Helpers for the table engine tests: temporary copies of the fixture tables, writing a record,
// walking a tag, and the independent checker when it is present.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/xbase/check.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"
#include "support/temp_dir.h"

namespace xbase::table_testing {

inline std::string DataPath(const std::string& rel) {
  return std::string(XFR_TEST_DATA) + "/" + rel;
}

using xfr::testing::Output;
using xfr::testing::TempDir;
inline std::string Slurp(const std::string& path) { return xfr::testing::ReadFile(path); }

// Copies every file of tests/data/<set> (not its subfolders) into dir, writable.
inline void CopyFixtures(const std::string& set, const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(DataPath(set))) {
    if (!e.is_regular_file()) continue;
    auto to = std::filesystem::path(dir) / e.path().filename();
    std::filesystem::copy_file(e.path(), to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
}

// A temporary folder holding writable copies of tests/data/<set>.
struct FixtureDir : TempDir {
  explicit FixtureDir(const std::string& set = "foxpro") { CopyFixtures(set, path()); }
};

// tests/data/foxpro/<table>.DBF, .CDX and .FPT (those there are) put in env.
inline void PutFixture(MemEnv* env, const std::string& table) {
  for (const char* ext : {".DBF", ".CDX", ".FPT"}) {
    if (std::filesystem::exists(DataPath("foxpro/" + table + ext)))
      env->PutFile(table + ext, Slurp(DataPath("foxpro/" + table + ext)));
  }
}

// A header with the given fields (name, type, length, decimals), code page mark and records.
inline std::string MakeDbf(const std::vector<std::tuple<const char*, char, int, int>>& fields,
                           std::uint8_t code_page, const std::vector<std::string>& records = {}) {
  DbfHeader h;
  h.version = 0x03;
  h.year = 2024, h.month = 6, h.day = 3;
  h.header_length = static_cast<std::uint16_t>(32 + 32 * fields.size() + 1);
  int len = 1;
  for (const auto& f : fields) len += std::get<2>(f);
  h.record_length = static_cast<std::uint16_t>(len);
  h.record_count = static_cast<std::uint32_t>(records.size());
  h.code_page = code_page;
  std::string out(h.header_length, '\0');
  h.EncodeTo(out.data());
  int offset = 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto& [name, type, length, decimals] = fields[i];
    FieldDescriptor{name, type, static_cast<std::uint32_t>(offset),
                    static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(decimals)}
        .EncodeTo(out.data() + 32 + 32 * i);
    offset += length;
  }
  out[h.header_length - 1] = 0x0D;
  for (const auto& r : records) out += r;
  return out + "\x1A";
}

// Numbers in fields, keys and expressions keep the point under a locale whose decimal separator
// is a comma (Qt sets the C library's from the environment), while one of these is alive.
struct CommaLocale {
  CommaLocale() { std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
};

// Field values by name, as typed; the name "*" stands for the deletion mark ("*": deleted).
using Values = std::vector<std::pair<std::string, std::string>>;

// Record recno changed to these values, or with recno 0 a new record appended (its number in
// *appended when asked).
inline Status Write(Table* t, std::uint32_t recno, const Values& values,
                    std::uint32_t* appended = nullptr) {
  Record rec = t->NewRecord();
  for (const auto& [field, value] : values) {
    Status s = field == "*" ? (rec.SetDeleted(value == "*"), Status::OK())
                            : rec.SetFromString(t->FindField(field), value);
    if (!s.ok()) return s;
  }
  std::uint32_t n = 0;
  return recno == 0 ? t->Append(rec, appended ? appended : &n) : t->Update(recno, rec);
}

// The record a seek in the named tag finds, and the first live record: 0 for none.
inline std::uint32_t SeekRecno(Table* table, const char* tag, const std::string& text) {
  bool found = false;
  std::uint32_t recno = 0;
  const Status s = table->Seek(table->FindTag(tag), text, &found, &recno);
  EXPECT_TRUE(s.ok() && (!found || recno != 0)) << s.ToString();
  return found ? recno : 0;
}
inline std::uint32_t FirstRecno(Table* table) {
  bool found = false;
  std::uint32_t recno = 0;
  EXPECT_TRUE(table->First(&found, &recno).ok() && (!found || recno != 0));
  return found ? recno : 0;
}

using KeyList = std::vector<std::pair<std::string, std::uint32_t>>;

inline KeyList WalkTag(CdxFile* cdx, int tag) {
  KeyList keys;
  Status s = cdx->Walk(tag, [&](std::string_view k, std::uint32_t r) {
    keys.emplace_back(std::string(k), r);
    return true;
  });
  if (!s.ok()) keys.emplace_back("walk failed: " + s.ToString(), 0);
  return keys;
}
inline KeyList WalkTag(Table* table, int tag) { return WalkTag(table->cdx(), tag); }

inline std::unique_ptr<Table> OpenOrDie(Env* env, const std::string& path,
                                        TableOptions options = {}) {
  std::unique_ptr<Table> t;
  const Status s = Table::Open(env, path, options, &t);
  if (!s.ok())
    std::fprintf(stderr, "open %s: %s\n", path.c_str(), s.ToString().c_str()), std::abort();
  return t;
}

inline std::string CheckerPath() { return std::string(XFR_SHARED_DIR) + "/tools/checktables.py"; }
inline bool HaveChecker() { return std::filesystem::exists(CheckerPath()); }

// Runs the independent checker on dir; returns its status (0 when it passed), its output in *out.
inline int RunChecker(const std::string& dir, std::string* out) {
  int status = 0;
  *out += Output("python3 '" + CheckerPath() + "' '" + dir + "' 2>&1", &status);
  return status;
}

// Every DBF of dir passes our check and, when it is there, the independent checker.
inline void ExpectConsistent(const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".DBF" && e.path().extension() != ".dbf") continue;
    std::vector<std::string> report;
    Status s = CheckTable(Env::Default(), e.path().string(), &report);
    EXPECT_TRUE(s.ok()) << s.ToString();
  }
  if (HaveChecker()) {
    std::string out;
    EXPECT_EQ(RunChecker(dir, &out), 0) << out;
  }
}

}  // namespace xbase::table_testing
