// Generated PROPERTY-shaped tables for the benchmarks: the tracking program's structure with
// the tags FILE_NUM = UPPER(FILE_NUM) and CLI_NUM = CLI_NUM, n records in a temp dir (built once
// per size and process, see TablePath). File numbers are the even numbers 0, 2, ... written with
// eight digits; odd ones are misses and free for appends.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/xbase/cdx.h"
#include "platform/xbase/cdx_format.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/dbf.h"
#include "platform/xbase/table.h"

namespace bench_tables {

using xbase::Env;

struct FieldSpec {
  const char* name;
  char type;
  int length, decimals;
};
inline const FieldSpec kFields[] = {
    {"FILE_NUM", 'C', 8, 0},    {"ASS_TYPE", 'C', 10, 0},   {"PR_STREET", 'C', 40, 0},
    {"PR_CITY", 'C', 25, 0},    {"PR_STATE", 'C', 2, 0},    {"PR_ZIP", 'C', 10, 0},
    {"PR_COUNTY", 'C', 20, 0},  {"PR_SUBDIV", 'C', 30, 0},  {"PR_MAP_REF", 'C', 15, 0},
    {"PR_CENSUS", 'C', 10, 0},  {"PR_REF_NUM", 'C', 15, 0}, {"PR_OWNER", 'C', 35, 0},
    {"PR_BORROWR", 'C', 35, 0}, {"PR_LOT", 'C', 6, 0},      {"PR_BLOCK", 'C', 6, 0},
    {"PR_LANDLOT", 'C', 6, 0},  {"PR_LANDIST", 'C', 6, 0},  {"PR_SECTION", 'C', 6, 0},
    {"PR_DEEDBK", 'C', 6, 0},   {"PR_DEEDPG", 'C', 6, 0},   {"PR_PLATBK", 'C', 6, 0},
    {"PR_PLATPG", 'C', 6, 0},   {"PR_DFINISH", 'D', 8, 0},  {"PR_APPRVAL", 'N', 10, 0},
    {"CLI_NUM", 'C', 5, 0},     {"INV_NUM", 'C', 8, 0},     {"PR_FHA_NUM", 'C', 12, 0},
};

inline std::string FileNum(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08u", v);
  return buf;
}
inline std::string CliNum(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%05u", v % 20000);
  return buf;
}

// A structural index with the two empty tags.
inline std::string EmptyIndex() {
  using namespace xbase::cdx;
  std::string file(0x400 + kPageSize + 2 * (kHeaderSize + kPageSize), '\0');
  auto header = [&](std::uint32_t at, std::uint32_t root, int key_length, std::uint8_t options,
                    const char* expr) {
    char* p = file.data() + at;
    xbase::EncodeFixed32LE(p, root);
    xbase::EncodeFixed16LE(p + 12, static_cast<std::uint16_t>(key_length));
    p[14] = static_cast<char>(options);
    p[15] = 1;
    std::size_t n = std::strlen(expr) + 1;
    std::memcpy(p + 512, expr, n);
    xbase::EncodeFixed16LE(p + 504, static_cast<std::uint16_t>(n));
    xbase::EncodeFixed16LE(p + 506, 1);
    xbase::EncodeFixed16LE(p + 510, static_cast<std::uint16_t>(n));
  };
  const std::uint32_t tag1 = 0x600, tag2 = tag1 + kHeaderSize + kPageSize;
  header(0, 0x400, 10, kOptionCompact | kOptionCompound | kOptionStructural, "");
  Node dir;
  dir.offset = 0x400;
  dir.attr = kAttrRoot | kAttrLeaf;
  dir.key_length = 10;
  dir.Insert(0, "CLI_NUM   ", tag2, 0);
  dir.Insert(1, "FILE_NUM  ", tag1, 0);
  dir.EncodeTo(' ', file.data() + 0x400);
  struct {
    std::uint32_t at;
    int len;
    const char* expr;
  } tags[] = {{tag1, 8, "UPPER(FILE_NUM)"}, {tag2, 5, "CLI_NUM"}};
  for (const auto& t : tags) {
    header(t.at, t.at + kHeaderSize, t.len, kOptionCompact | kOptionCompound, t.expr);
    Node root;
    root.offset = t.at + kHeaderSize;
    root.attr = kAttrRoot | kAttrLeaf;
    root.key_length = t.len;
    root.EncodeTo(' ', file.data() + root.offset);
  }
  return file;
}

// The generated tables, removed when the program ends (the largest is some 350 MB).
class BuiltTables {
 public:
  ~BuiltTables() {
    for (const auto& [n, path] : paths) std::filesystem::remove_all(std::filesystem::path(path).parent_path());
  }
  std::map<std::uint32_t, std::string> paths;
};

// Writes PROPERTY.DBF and PROPERTY.CDX of n records into dir. File numbers are the even numbers
// 0, 2, ...; odd ones are misses and free for appends.
inline void BuildTable(const std::string& dir, std::uint32_t n) {
  const std::string path = dir + "/PROPERTY.DBF";
  xbase::DbfHeader h;
  h.version = 0x03;
  h.year = 2024, h.month = 6, h.day = 3;
  h.flags = 0x01;
  h.code_page = 0x03;
  h.record_count = n;
  const std::size_t nf = sizeof kFields / sizeof kFields[0];
  h.header_length = static_cast<std::uint16_t>(32 + 32 * nf + 1);
  int len = 1;
  for (const auto& f : kFields) len += f.length;
  h.record_length = static_cast<std::uint16_t>(len);
  std::string head(h.header_length, '\0');
  h.EncodeTo(head.data());
  int offset = 1;
  for (std::size_t i = 0; i < nf; ++i) {
    xbase::FieldDescriptor d;
    d.name = kFields[i].name;
    d.type = kFields[i].type;
    d.length = static_cast<std::uint8_t>(kFields[i].length);
    d.displacement = static_cast<std::uint32_t>(offset);
    offset += d.length;
    d.EncodeTo(head.data() + 32 + 32 * i);
  }
  head.back() = 0x0D;
  xbase::DbfLayout layout;
  if (!xbase::DbfLayout::Decode(head, &layout).ok()) std::abort();
  {
    std::ofstream out(path, std::ios::binary);
    out << head;
    xbase::Record rec(&layout, &xbase::CodePage::ForMark(0x03));
    for (std::uint32_t r = 1; r <= n; ++r) {
      rec.Clear();
      rec.SetText(0, FileNum(2 * (r - 1)));
      rec.SetText(2, std::to_string(r) + " Peachtree St");
      rec.SetText(3, "Atlanta");
      rec.SetText(24, CliNum(r));
      out << rec.bytes();
    }
    out << '\x1A';
    std::ofstream cdx(dir + "/PROPERTY.CDX", std::ios::binary);
    cdx << EmptyIndex();
  }
  std::unique_ptr<xbase::CdxFile> cdx;
  if (!xbase::CdxFile::Open(Env::Default(), dir + "/PROPERTY.CDX", false, &cdx).ok()) {
    std::abort();
  }
  const int file_tag = cdx->FindTag("FILE_NUM"), cli_tag = cdx->FindTag("CLI_NUM");
  if (file_tag < 0 || cli_tag < 0) std::abort();
  cdx->SetKeyType(file_tag, 'C');
  cdx->SetKeyType(cli_tag, 'C');
  const std::uint64_t step = 1000003;  // scatters the inserts as ordinary use does
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::uint32_t v = static_cast<std::uint32_t>((i * step) % n);
    if (!cdx->Insert(file_tag, FileNum(2 * v), v + 1).ok()) std::abort();
    if (!cdx->Insert(cli_tag, CliNum(v + 1), v + 1).ok()) std::abort();
    if (i % 4096 == 4095 && !cdx->Flush().ok()) std::abort();
  }
  if (!cdx->Flush().ok()) std::abort();
}

// Builds the tables in a child process, so that the memory the building takes is not in the
// benchmarks' peak.
inline void BuildTableApart(const std::string& dir, std::uint32_t n) {
  const pid_t child = fork();
  if (child < 0) std::abort();
  if (child == 0) {
    std::filesystem::create_directories(dir);
    BuildTable(dir, n);
    std::_Exit(0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::abort();
  }
}

// Where the benchmarks' tables go: $XFR_BENCH_DIR (a tmpfs such as /dev/shm, say), else /tmp.
inline std::string BenchDir() {
  const char* parent = std::getenv("XFR_BENCH_DIR");
  return parent != nullptr && *parent ? parent : "/tmp";
}

// The generated table of n records, made once per size and process in a directory of its own
// under BenchDir(). With $XFR_BENCH_TABLES set, each size is built there once and copied for
// every run, so that two builds measured in alternating runs work on the same bytes and do not
// wait for the building.
inline const std::string& TablePath(std::uint32_t n) {
  namespace fs = std::filesystem;
  static BuiltTables tables;
  std::map<std::uint32_t, std::string>& built = tables.paths;
  auto it = built.find(n);
  if (it != built.end()) return it->second;
  std::string dir = BenchDir() + "/xbase_bench_XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  const char* keep = std::getenv("XFR_BENCH_TABLES");
  if (keep == nullptr || *keep == '\0') {
    BuildTableApart(dir, n);
  } else {
    const std::string kept = std::string(keep) + "/" + std::to_string(n);
    if (!fs::exists(kept + "/PROPERTY.CDX")) {
      fs::remove_all(kept + ".part");
      BuildTableApart(kept + ".part", n);
      fs::rename(kept + ".part", kept);
    }
    for (const char* name : {"PROPERTY.DBF", "PROPERTY.CDX"}) {
      fs::copy_file(kept + "/" + name, dir + "/" + name);
    }
  }
  return built[n] = dir + "/PROPERTY.DBF";
}

// The directory of the generated PROPERTY table of n records, with CLIENT and INVOICE beside it.
inline std::string PrepareOffice(std::uint32_t n) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(TablePath(n)).parent_path();
  for (const char* name : {"CLIENT.DBF", "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
    const fs::path to = dir / name;
    if (fs::exists(to)) continue;
    fs::copy_file(fs::path(XFR_SOURCE_DIR) / "tests/data/foxpro" / name, to);
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  }
  return dir.string();
}

}  // namespace bench_tables
