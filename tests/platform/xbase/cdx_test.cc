// CdxFile against the fixture indexes (made by an independent xBase engine and by FoxPro
// itself) and against a std::multimap model under thousands of random changes.
#include "platform/xbase/cdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>

#include "cdx_test_util.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::DataPath;
using table_testing::KeyList;
using table_testing::Slurp;
using testing::BuildCdx;
using testing::Shape;
using testing::TagShape;

std::unique_ptr<CdxFile> OpenOrDie(MemEnv* env, const std::string& path, bool read_only = false,
                                   const std::string* bytes = nullptr) {
  if (bytes) env->PutFile(path, *bytes);
  std::unique_ptr<CdxFile> cdx;
  Status s = CdxFile::Open(env, path, read_only, &cdx);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return cdx;
}

KeyList WalkAll(CdxFile* cdx, int tag) {
  KeyList keys;
  Status s = cdx->Walk(tag, [&](std::string_view k, std::uint32_t r) {
    keys.emplace_back(std::string(k), r);
    return true;
  });
  EXPECT_TRUE(s.ok()) << s.ToString();
  return keys;
}

std::string CheckProblem(CdxFile* cdx, int tag) {
  std::string problem;
  Status s = cdx->Check(tag, &problem);
  if (!s.ok() && problem.empty()) problem = s.ToString();
  return problem;
}

// Whether the tag's root is an interior node (the tree has more than one level).
bool RootIsInterior(MemEnv* env, const std::string& path, const TagInfo& tag) {
  std::string bytes;
  env->GetFile(path, &bytes);
  const std::uint32_t root = DecodeFixed32LE(bytes.data() + tag.header_offset);
  return (DecodeFixed16LE(bytes.data() + root) & cdx::kAttrLeaf) == 0;
}

std::string Key8(int i) {
  char key[9];
  std::snprintf(key, sizeof(key), "K%07d", i);
  return key;
}

// Indexes written by the reference engine (before its changes, and after/ with them).
TEST(CdxFixture, WalkGivesTheExpectedKeysInIndexOrder) {
  struct FixtureTag {
    const char* table;
    const char* tag;
    const char* key_expr;
    int key_length;
  } tags[] = {
      {"PROPERTY", "FILE_NUM", "UPPER(FILE_NUM)", 8},
      {"PROPERTY", "CLI_NUM", "CLI_NUM", 5},
      {"CLIENT", "CLI_NUM", "UPPER(CLI_NUM)", 5},
      {"INVOICE", "INV_NUM", "INV_NUM", 8},
  };
  const auto expected = table_testing::ExpectedKeys();
  for (int i = 0; i < 8; ++i) {
    const FixtureTag& f = tags[i % 4];
    const std::string state = i < 4 ? "before" : "after";
    SCOPED_TRACE(state + " " + f.table + " " + f.tag);
    const std::string file = std::string(i < 4 ? "" : "after/") + f.table + ".CDX";
    const std::string bytes = Slurp(DataPath("foxpro/" + file));
    MemEnv env;
    auto cdx = OpenOrDie(&env, file, /*read_only=*/true, &bytes);
    ASSERT_TRUE(cdx);
    const int tag = cdx->FindTag(f.tag);
    ASSERT_GE(tag, 0);
    const TagInfo& info = cdx->tags()[tag];
    EXPECT_EQ(info.key_expr, f.key_expr);
    EXPECT_EQ(info.key_length, f.key_length);
    EXPECT_EQ(info.for_expr, "");
    EXPECT_FALSE(info.descending);
    EXPECT_FALSE(info.unique);
    EXPECT_TRUE(info.machine_collation);
    const auto it = expected.find(state + " " + f.table + " " + f.tag);
    ASSERT_NE(it, expected.end());
    EXPECT_EQ(WalkAll(cdx.get(), tag), it->second);
    EXPECT_EQ(CheckProblem(cdx.get(), tag), "");
  }
}

TEST(CdxFixture, SeekFindsTheLowestRecordWithTheKey) {
  MemEnv env;
  const std::string bytes = Slurp(DataPath("foxpro/PROPERTY.CDX"));
  auto cdx = OpenOrDie(&env, "PROPERTY.CDX", true, &bytes);
  ASSERT_TRUE(cdx);
  struct Case {
    const char* tag;
    std::string key;
    bool found;
    std::uint32_t recno;
  } cases[] = {
      {"file_num", "24-00102", true, 2},  // recs 2 and 33 (deleted) share it
      {"FILE_NUM", "AC24-104", true, 4},  // "ac24-104" upper-cased collides with rec 35
      {"FILE_NUM", "7731    ", true, 23}, {"FILE_NUM", "        ", true, 7},
      {"FILE_NUM", "24-00104", false, 0}, {"FILE_NUM", "ZZZZZZZZ", false, 0},
      {"FILE_NUM", "ac24-104", false, 0},  // the tag holds upper case only
      {"Cli_Num", "     ", true, 7},      {"CLI_NUM", "amc01", true, 4},
      {"CLI_NUM", "AMC01", false, 0},     {"CLI_NUM", "10015", true, 29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " \"" + c.key + "\"");
    const int tag = cdx->FindTag(c.tag);
    ASSERT_GE(tag, 0);
    bool found = true;
    std::uint32_t recno = 0;
    ASSERT_TRUE(cdx->Seek(tag, c.key, &found, &recno).ok());
    EXPECT_EQ(found, c.found);
    if (c.found) {
      EXPECT_EQ(recno, c.recno);
    }
  }
  EXPECT_EQ(cdx->FindTag("NO_SUCH"), -1);
  bool found;
  std::uint32_t recno;
  EXPECT_EQ(cdx->Seek(0, "short", &found, &recno).code(), Status::Code::kInvalidArgument);
}

// The changes the independent engine made (after/ minus the top-level files), applied with
// ours, give the same key sequences; and the result survives a reopen.
TEST(CdxFixture, ApplyingTheAfterChangesGivesTheAfterKeys) {
  const auto expected = table_testing::ExpectedKeys();
  for (const char* table : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(table);
    const std::string file = std::string(table) + ".CDX";
    MemEnv env;
    const std::string original = Slurp(DataPath("foxpro/" + file));
    {
      auto cdx = OpenOrDie(&env, file, false, &original);
      ASSERT_TRUE(cdx);
      for (std::size_t tag = 0; tag < cdx->tags().size(); ++tag) {
        const std::string name = cdx->tags()[tag].name;
        const KeyList& before = expected.at(std::string("before ") + table + " " + name);
        const KeyList& after = expected.at(std::string("after ") + table + " " + name);
        std::multiset<std::pair<std::string, std::uint32_t>> b(before.begin(), before.end());
        for (const auto& [key, recno] : after) {
          auto it = b.find({key, recno});
          if (it != b.end()) {
            b.erase(it);
            continue;
          }
          ASSERT_TRUE(cdx->Insert(static_cast<int>(tag), key, recno).ok());
        }
        for (const auto& [key, recno] : b) {
          ASSERT_TRUE(cdx->Delete(static_cast<int>(tag), key, recno).ok());
        }
        EXPECT_EQ(WalkAll(cdx.get(), static_cast<int>(tag)), after) << name;
      }
      ASSERT_TRUE(cdx->Flush().ok());
    }
    std::string now;
    env.GetFile(file, &now);
    EXPECT_EQ(now.size(), original.size()) << "a few keys fit in the existing leaves";
    EXPECT_EQ(DecodeFixed32BE(now.data() + 8), DecodeFixed32BE(original.data() + 8) + 1)
        << "the change counter moves once per flush";
    auto cdx = OpenOrDie(&env, file, true);
    for (std::size_t tag = 0; tag < cdx->tags().size(); ++tag) {
      const std::string name = cdx->tags()[tag].name;
      EXPECT_EQ(WalkAll(cdx.get(), static_cast<int>(tag)),
                expected.at(std::string("after ") + table + " " + name));
      EXPECT_EQ(CheckProblem(cdx.get(), static_cast<int>(tag)), "");
    }
  }
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Field name -> type letter, read from a DBF's field descriptors.
std::map<std::string, char> FieldTypes(const std::string& dbf_path) {
  const std::string dbf = Slurp(dbf_path);
  std::map<std::string, char> types;
  for (std::size_t at = 32; at + 32 <= dbf.size() && dbf[at] != '\x0d'; at += 32) {
    std::string name(dbf.data() + at, 11);
    name.resize(name.find('\0') == std::string::npos ? 11 : name.find('\0'));
    types[Upper(name)] = dbf[at + 11];
  }
  return types;
}

// Indexes written by FoxPro itself: headers, the tag directory, and leaves of numeric and date
// keys (trailing NULs) as well as character keys.
TEST(CdxRealFoxPro, EveryTagDecodesSortedAndComplete) {
  struct Case {
    const char* table;
    std::vector<std::string> tags;  // creation order
    int records;
  } cases[] = {
      {"BUILDING", {"BUILD_NO"}, 3},
      {"EMPLOYEE", {"EMP_OFFC"}, 3},
      {"OFFICE", {"OFF_BLDG", "OFF_NUM"}, 3},
      {"PERSON2", {"NAME_TAG", "AGE_TAG", "DATE_TAG"}, 6},
      {"SAMPLE", {"FIELD1"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string file = std::string(c.table) + ".CDX";
    const std::string bytes = Slurp(DataPath("foxpro-real/" + file));
    MemEnv env;
    auto cdx = OpenOrDie(&env, file, true, &bytes);
    ASSERT_TRUE(cdx);
    const auto types = FieldTypes(DataPath(std::string("foxpro-real/") + c.table + ".DBF"));
    std::vector<std::string> names;
    for (const TagInfo& t : cdx->tags()) names.push_back(t.name);
    EXPECT_EQ(names, c.tags);
    for (std::size_t tag = 0; tag < cdx->tags().size(); ++tag) {
      const TagInfo& info = cdx->tags()[tag];
      SCOPED_TRACE(info.name);
      EXPECT_TRUE(info.machine_collation);
      EXPECT_FALSE(info.key_expr.empty());
      // A single-field key takes the field's type; concatenations are character keys.
      const auto type = types.find(Upper(info.key_expr));
      if (type != types.end()) cdx->SetKeyType(static_cast<int>(tag), type->second);
      const KeyList keys = WalkAll(cdx.get(), static_cast<int>(tag));
      EXPECT_EQ(keys.size(), static_cast<std::size_t>(c.records));
      std::set<std::uint32_t> recnos;
      for (const auto& [key, recno] : keys) {
        EXPECT_EQ(key.size(), static_cast<std::size_t>(info.key_length));
        recnos.insert(recno);
      }
      EXPECT_EQ(recnos.size(), static_cast<std::size_t>(c.records));
      EXPECT_EQ(*recnos.rbegin(), static_cast<std::uint32_t>(c.records));
      EXPECT_EQ(CheckProblem(cdx.get(), static_cast<int>(tag)), "");
    }
  }
}

struct ModelCase {
  const char* name;
  int key_length;
  char type;  // 'C' or 'N'
  bool descending;
  bool unique;
  int operations;
  int distinct_keys;  // small: many duplicates
};

std::string RandomKey(std::mt19937* rng, const ModelCase& c) {
  std::uniform_int_distribution<int> pick(0, c.distinct_keys - 1);
  const int v = pick(*rng);
  std::string key(c.key_length, c.type == 'C' ? ' ' : '\0');
  // A shared prefix, a varying middle and trailing padding of varying length exercise the
  // dup and trail counts.
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%07d", v);
  const std::size_t body = std::min<std::size_t>(key.size(), 3 + v % 5 + 7);
  for (std::size_t i = 0; i < body; ++i) {
    key[i] = i < 3 ? 'K' : digits[(i - 3) % 7];
  }
  if (c.type != 'C') key[0] = static_cast<char>(0x80 + v % 3);  // high bytes sort above
  return key;
}

TEST(CdxTree, RandomChangesMatchAModelAcrossSplitsAndMerges) {
  const ModelCase cases[] = {
      {"short character keys", 8, 'C', false, false, 6000, 3000},
      {"many duplicates", 5, 'C', false, false, 4000, 40},
      {"long keys, deep trees", 120, 'C', false, false, 3000, 2000},
      {"longest keys", 240, 'C', false, false, 1500, 1000},
      {"numeric keys", 8, 'N', false, false, 4000, 2500},
      {"descending", 10, 'C', true, false, 4000, 1500},
      {"unique", 10, 'C', false, true, 4000, 800},
  };
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.name);
    TagShape shape = Shape("T", c.key_length);
    shape.descending = c.descending;
    shape.unique = c.unique;
    MemEnv env;
    const std::string empty = BuildCdx({shape});
    auto cdx = OpenOrDie(&env, "T.CDX", false, &empty);
    ASSERT_TRUE(cdx);
    cdx->SetKeyType(0, c.type);
    std::mt19937 rng(1234);
    std::multimap<std::string, std::uint32_t> model;  // (key, recno) pairs; recno ascending
    std::map<std::uint32_t, std::string> by_recno;
    std::uint32_t next_recno = 1;
    bool was_deep = false;
    for (int op = 0; op < c.operations; ++op) {
      // Grow for the first two thirds, then shrink: splits first, merges and frees after.
      const bool grow = op < c.operations * 2 / 3 ? rng() % 4 != 0 : rng() % 4 == 0;
      if (grow || by_recno.empty()) {
        const std::string key = RandomKey(&rng, c);
        const std::uint32_t recno = next_recno++;
        ASSERT_TRUE(cdx->Insert(0, key, recno).ok());
        if (c.unique && model.count(key) != 0) continue;  // first record with the key stays
        model.emplace(key, recno);  // recnos rise, so equal keys stay in recno order
        by_recno[recno] = key;
      } else {
        auto it = std::next(by_recno.begin(), rng() % by_recno.size());
        ASSERT_TRUE(cdx->Delete(0, it->second, it->first).ok()) << op;
        auto m = model.equal_range(it->second).first;
        while (m->second != it->first) ++m;
        model.erase(m);
        by_recno.erase(it);
      }
      if (op % 500 == 499) {
        ASSERT_EQ(CheckProblem(cdx.get(), 0), "") << "after operation " << op;
        ASSERT_TRUE(cdx->Flush().ok());
        was_deep = was_deep || RootIsInterior(&env, "T.CDX", cdx->tags()[0]);
      }
    }
    EXPECT_TRUE(was_deep) << "the tree never grew a second level";
    KeyList want(model.begin(), model.end());
    if (c.descending) std::reverse(want.begin(), want.end());
    EXPECT_EQ(WalkAll(cdx.get(), 0), want);
    // Every key is found at its lowest record; a deleted one is not.
    for (auto it = model.begin(); it != model.end(); it = model.upper_bound(it->first)) {
      bool found = false;
      std::uint32_t recno = 0;
      ASSERT_TRUE(cdx->Seek(0, it->first, &found, &recno).ok());
      ASSERT_TRUE(found);
      ASSERT_EQ(recno, it->second);
    }
    ASSERT_TRUE(cdx->Flush().ok());
    cdx.reset();
    auto again = OpenOrDie(&env, "T.CDX", true);
    again->SetKeyType(0, c.type);
    EXPECT_EQ(WalkAll(again.get(), 0), want);
    EXPECT_EQ(CheckProblem(again.get(), 0), "");
  }
}

TEST(CdxTree, EmptiedTagKeepsAnEmptyRootAndReusesFreedPages) {
  MemEnv env;
  const std::string empty = BuildCdx({Shape("T", 40)});
  auto cdx = OpenOrDie(&env, "T.CDX", false, &empty);
  auto key = [](int i) {
    std::string k = "KEY" + std::to_string(i * 7919 % 5000);
    k.resize(40, ' ');
    return k;
  };
  for (int i = 1; i <= 2000; ++i) ASSERT_TRUE(cdx->Insert(0, key(i), i).ok());
  ASSERT_TRUE(cdx->Flush().ok());
  std::string bytes;
  env.GetFile("T.CDX", &bytes);
  const std::size_t full_size = bytes.size();
  EXPECT_TRUE(RootIsInterior(&env, "T.CDX", cdx->tags()[0]));

  for (int i = 1; i <= 2000; ++i) ASSERT_TRUE(cdx->Delete(0, key(i), i).ok()) << i;
  ASSERT_TRUE(cdx->Flush().ok());
  EXPECT_EQ(WalkAll(cdx.get(), 0), KeyList());
  EXPECT_EQ(CheckProblem(cdx.get(), 0), "");
  EXPECT_FALSE(RootIsInterior(&env, "T.CDX", cdx->tags()[0]));
  // Every freed page is on the list that starts in the compound header.
  env.GetFile("T.CDX", &bytes);
  std::set<std::uint32_t> free_pages;
  for (std::uint32_t p = DecodeFixed32LE(bytes.data() + 4); p != 0 && p != cdx::kNoPage;
       p = DecodeFixed32LE(bytes.data() + p)) {
    ASSERT_EQ(p % cdx::kPageSize, 0u);
    ASSERT_LT(p, bytes.size());
    ASSERT_TRUE(free_pages.insert(p).second) << "free list loops";
  }
  // All pages but the headers and the root are free.
  EXPECT_EQ(free_pages.size(), (full_size - 0x600 - 0x400) / cdx::kPageSize - 1);

  for (int i = 1; i <= 2000; ++i) ASSERT_TRUE(cdx->Insert(0, key(i), i).ok());
  ASSERT_TRUE(cdx->Flush().ok());
  env.GetFile("T.CDX", &bytes);
  EXPECT_LE(bytes.size(), full_size) << "freed pages are used again before the file grows";
  EXPECT_EQ(CheckProblem(cdx.get(), 0), "");
  EXPECT_EQ(WalkAll(cdx.get(), 0).size(), 2000u);
}

TEST(CdxFile, RefusesWritesItCannotDoRight) {
  MemEnv env;
  const std::string empty = BuildCdx({Shape("PLAIN", 8)});
  {
    auto cdx = OpenOrDie(&env, "T.CDX", false, &empty);
    EXPECT_EQ(cdx->Insert(0, "ABC", 1).code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(cdx->Insert(0, "ABCDEFGH", 0).code(), Status::Code::kInvalidArgument);
    EXPECT_TRUE(cdx->Insert(0, "ABCDEFGH", 1).ok());
    EXPECT_EQ(cdx->Insert(0, "ABCDEFGH", 1).code(), Status::Code::kDuplicate);
    EXPECT_EQ(cdx->Delete(0, "ABCDEFGH", 2).code(), Status::Code::kNotFound);
  }
  auto ro = OpenOrDie(&env, "T.CDX", true);
  EXPECT_EQ(ro->Insert(0, "ABCDEFGH", 2).code(), Status::Code::kInvalidArgument);
}

TEST(CdxFile, RefreshSeesWhatAnotherWriterFlushed) {
  MemEnv env;
  const std::string empty = BuildCdx({Shape("T", 8)});
  auto ours = OpenOrDie(&env, "T.CDX", false, &empty);
  auto theirs = OpenOrDie(&env, "T.CDX");
  bool found = true;
  std::uint32_t recno = 0;
  ASSERT_TRUE(ours->Seek(0, "AAAAAAAA", &found, &recno).ok());  // caches the root
  EXPECT_FALSE(found);
  for (int i = 1; i <= 500; ++i) ASSERT_TRUE(theirs->Insert(0, Key8(i), i).ok());
  ASSERT_TRUE(theirs->Flush().ok());
  ASSERT_TRUE(ours->Refresh().ok());
  ASSERT_TRUE(ours->Seek(0, "K0000321", &found, &recno).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(recno, 321u);
  ASSERT_TRUE(ours->Insert(0, "K0000321", 9999).ok());
  EXPECT_EQ(ours->Refresh().code(), Status::Code::kInvalidArgument) << "unflushed changes";
}

TEST(CdxFile, FailedWriteKeepsItsErrorAndWritesNothingMore) {
  MemEnv mem;
  mem.PutFile("T.CDX", BuildCdx({Shape("T", 8)}));
  FaultEnv env(&mem);
  std::unique_ptr<CdxFile> cdx;
  ASSERT_TRUE(CdxFile::Open(&env, "T.CDX", false, &cdx).ok());
  for (int i = 1; i <= 300; ++i) ASSERT_TRUE(cdx->Insert(0, Key8(i), i).ok());
  env.FailWrite(2);
  EXPECT_EQ(cdx->Flush().code(), Status::Code::kIOError);
  std::string after_failure;
  mem.GetFile("T.CDX", &after_failure);
  EXPECT_EQ(cdx->Insert(0, "ZZZZZZZZ", 301).code(), Status::Code::kIOError);
  EXPECT_EQ(cdx->Flush().code(), Status::Code::kIOError);
  cdx.reset();  // the destructor does not write either
  std::string now;
  mem.GetFile("T.CDX", &now);
  EXPECT_EQ(now, after_failure);
}

}  // namespace
}  // namespace xbase
