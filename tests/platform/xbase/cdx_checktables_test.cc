// Indexes this engine writes, judged by the independent checker (../shared/tools/checktables.py):
// the fixture PROPERTY table gets thousands of records appended byte by byte and some key fields
// edited, the CDX is kept in step through CdxFile alone, and the checker recomputes every key
// from the records and walks the trees it finds.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "cdx_test_util.h"
#include "platform/xbase/cdx.h"
#include "platform/xbase/coding.h"

namespace xbase {
namespace {

using testing::FixturePath;
using testing::ReadWholeFile;

namespace fs = std::filesystem;

struct Field {
  int offset;  // in the record, after the deleted flag
  int length;
};

// Field name -> place in the record, from the descriptors.
std::map<std::string, Field> Fields(const std::string& dbf) {
  std::map<std::string, Field> fields;
  int pos = 1;
  for (std::size_t at = 32; at + 32 <= dbf.size() && dbf[at] != '\x0d'; at += 32) {
    std::string name(dbf.data() + at, 11);
    name.resize(name.find('\0') == std::string::npos ? 11 : name.find('\0'));
    const int len = static_cast<unsigned char>(dbf[at + 16]);
    fields[name] = {pos, len};
    pos += len;
  }
  return fields;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

int RunChecker(const std::string& dir, std::string* output) {
  const std::string cmd = "python3 " + std::string(XFR_SHARED_DIR) +
                          "/tools/checktables.py " + dir + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return -1;
  char buf[512];
  while (fgets(buf, sizeof(buf), p) != nullptr) *output += buf;
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CdxCheckTables, AppendsAndEditsPassTheIndependentChecker) {
  const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
  if (!fs::exists(checker)) GTEST_SKIP() << "no " << checker;

  char tmpl[] = "/tmp/cdx_checktables_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  for (const char* f : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT"}) {
    fs::copy_file(FixturePath(std::string("foxpro/") + f), dir + "/" + f);
    fs::permissions(dir + "/" + f, fs::perms::owner_read | fs::perms::owner_write);
  }
  std::string dbf = ReadWholeFile(dir + "/PROPERTY.DBF");
  const auto fields = Fields(dbf);
  const Field file_num = fields.at("FILE_NUM");
  const Field cli_num = fields.at("CLI_NUM");
  const std::uint16_t header_length = DecodeFixed16LE(dbf.data() + 8);
  const std::uint16_t record_length = DecodeFixed16LE(dbf.data() + 10);
  std::uint32_t count = DecodeFixed32LE(dbf.data() + 4);
  ASSERT_EQ(dbf.size(), header_length + std::size_t{count} * record_length + 1);
  dbf.pop_back();  // the end marker goes back after the new records

  std::unique_ptr<CdxFile> cdx;
  ASSERT_TRUE(CdxFile::Open(Env::Default(), dir + "/PROPERTY.CDX", false, &cdx).ok());
  const int file_tag = cdx->FindTag("FILE_NUM");
  const int cli_tag = cdx->FindTag("CLI_NUM");
  ASSERT_GE(file_tag, 0);
  ASSERT_GE(cli_tag, 0);

  auto set = [&](std::uint32_t recno, const Field& f, const std::string& value) {
    std::string padded = value;
    padded.resize(f.length, ' ');
    dbf.replace(header_length + (recno - 1) * record_length + f.offset, f.length, padded);
  };
  auto get = [&](std::uint32_t recno, const Field& f) {
    return dbf.substr(header_length + (recno - 1) * record_length + f.offset, f.length);
  };

  std::mt19937 rng(7);
  // Appends: file numbers in a random order with some lower case (the tag upper-cases them),
  // client numbers with many duplicates and some blank.
  for (int i = 0; i < 3000; ++i) {
    ++count;
    dbf.append(record_length, ' ');
    char num[16];
    std::snprintf(num, sizeof(num), "%s%05u", rng() % 7 == 0 ? "zx" : "ZX",
                  static_cast<unsigned>(rng() % 100000));
    char cli[8];
    std::snprintf(cli, sizeof(cli), "%05u", static_cast<unsigned>(rng() % 300));
    set(count, file_num, num);
    set(count, cli_num, rng() % 11 == 0 ? "" : cli);
    ASSERT_TRUE(cdx->Insert(file_tag, Upper(get(count, file_num)), count).ok());
    ASSERT_TRUE(cdx->Insert(cli_tag, get(count, cli_num), count).ok());
  }
  // Edits of both key fields, old records and new ones.
  for (int i = 0; i < 800; ++i) {
    const std::uint32_t recno = 1 + rng() % count;
    const Field& f = i % 2 ? file_num : cli_num;
    const int tag = i % 2 ? file_tag : cli_tag;
    const std::string old_key = i % 2 ? Upper(get(recno, f)) : get(recno, f);
    char value[16];
    std::snprintf(value, sizeof(value), i % 2 ? "ED%06u" : "E%04u",
                  static_cast<unsigned>(rng() % 9999));
    set(recno, f, value);
    const std::string new_key = i % 2 ? Upper(get(recno, f)) : get(recno, f);
    ASSERT_TRUE(cdx->Delete(tag, old_key, recno).ok()) << recno;
    ASSERT_TRUE(cdx->Insert(tag, new_key, recno).ok());
  }
  ASSERT_TRUE(cdx->Sync().ok());
  for (int tag : {file_tag, cli_tag}) {
    std::string problem;
    EXPECT_TRUE(cdx->Check(tag, &problem).ok()) << problem;
  }
  cdx.reset();

  EncodeFixed32LE(dbf.data() + 4, count);
  dbf.push_back('\x1a');
  {
    std::ofstream out(dir + "/PROPERTY.DBF", std::ios::binary | std::ios::trunc);
    out << dbf;
  }
  std::string output;
  EXPECT_EQ(RunChecker(dir, &output), 0) << output;
  EXPECT_NE(output.find("depth=2"), std::string::npos) << "splits made a second level\n"
                                                        << output;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace xbase
