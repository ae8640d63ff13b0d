// Damaged indexes: the message names the file, tag and node; a tree that decodes but is wrong is
// found by Check(). Any bytes at all (no crash, no sanitizer report): cdx_fuzz.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "cdx_test_util.h"
#include "platform/xbase/cdx.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

TEST(CdxCorruption, MessagesNameTheFileTagAndNode) {
  const std::string good = Slurp(DataPath("foxpro/PROPERTY.CDX"));
  const std::tuple<const char*, std::size_t, std::string, bool, const char*> cases[] = {
      // what, where, bytes written there (none: cut there), whether the open fails, message
      {"leaf key count", 0xa02, std::string("\x2c\x01", 2), false,
       "PROPERTY.CDX tag FILE_NUM node 0xa00: key count 300 exceeds node size"},
      {"root pointer", 0x600, std::string("\x00\x00\x01\x00", 4), true,
       "PROPERTY.CDX tag FILE_NUM: root pointer 0x10000 is not a node page inside the file"},
      {"key length", 0x60c, std::string("\xf5\x00", 2), true,
       "PROPERTY.CDX tag FILE_NUM header 0x600: key length 245 outside 1..240"},
      {"node type", 0xa00, std::string("\x07\x00", 2), false,
       "PROPERTY.CDX tag FILE_NUM node 0xa00: unknown node type 0x7"},
      {"free-space field", 0xa0c, std::string("\x00\x00", 2), false,
       "PROPERTY.CDX tag FILE_NUM node 0xa00: free-space field 0, actual free bytes 290"},
      {"entry table over the keys", 0xa02, std::string("\xa0\x00", 2), false,
       "PROPERTY.CDX tag FILE_NUM node 0xa00: key bytes of entry 3 run into the entry table"},
      {"cut inside a page", 0xa01, "", true, "PROPERTY.CDX: size 2561 is not a multiple of 512"},
      {"cut below the header", 0x1ff, "", true,
       "PROPERTY.CDX: 511 bytes, too short for a compound index header"},
  };
  for (const auto& [what, at, patch, on_open, message] : cases) {
    SCOPED_TRACE(what);
    std::string bytes = good;
    patch.empty() ? bytes.resize(at) : (void)bytes.replace(at, patch.size(), patch);
    MemEnv env;
    env.PutFile("PROPERTY.CDX", bytes);
    std::unique_ptr<CdxFile> cdx;
    Status s = CdxFile::Open(&env, "PROPERTY.CDX", true, &cdx);
    bool found;
    std::uint32_t recno;
    if (s.ok() && !on_open) s = cdx->Seek(cdx->FindTag("FILE_NUM"), "24-00101", &found, &recno);
    EXPECT_TRUE(s.IsCorruption()) << s.ToString();
    EXPECT_EQ(s.message(), message);
  }
}

// Damage that still decodes is what Check() is for (dbftool check relies on it), here to a tag
// of 60-byte keys, several levels deep.
TEST(CdxCorruption, CheckFindsTreesThatDecodeButAreWrong) {
  MemEnv env;
  env.PutFile("X.CDX", testing::BuildCdx({testing::Shape("DEEP", 60)}));
  std::unique_ptr<CdxFile> deep;
  ASSERT_TRUE(CdxFile::Open(&env, "X.CDX", false, &deep).ok());
  for (int i = 1; i <= 600; ++i) {
    std::string key = "ROW" + std::to_string(i * 37 % 1000);
    key.resize(60, ' ');
    ASSERT_TRUE(deep->Insert(0, key, i).ok());
  }
  ASSERT_TRUE(deep->Flush().ok());
  std::string good;
  env.GetFile("X.CDX", &good);
  const std::uint32_t root = DecodeFixed32LE(good.data() + 0x600);
  const std::size_t entry = 60 + 8;
  auto child = [&](int i) { return DecodeFixed32BE(good.data() + root + 12 + i * entry + 64); };
  auto first_leaf = [&](const std::string& b) {
    cdx::Node n;
    for (std::uint32_t at = root; n.offset == 0 || !n.is_leaf(); at = n.children[0]) {
      EXPECT_TRUE(
          cdx::Node::DecodeFrom(std::string_view(b).substr(at, 512), at, 60, ' ', "node", &n).ok());
      if (n.is_leaf()) break;
    }
    return n;
  };
  struct Case {
    const char* what;
    std::function<void(std::string*)> damage;
    const char* message_part;
  } cases[] = {
      {"node linked past its neighbour",
       [&](std::string* b) { EncodeFixed32LE(b->data() + child(0) + 8, child(2)); },
       "sibling links"},
      {"interior key below its child's keys",
       [&](std::string* b) { b->replace(root + 12, 60, std::string(60, '!')); },
       "is below the last key of child"},
      {"second leaf's left link cut",
       [&](std::string* b) { EncodeFixed32LE(b->data() + first_leaf(*b).right + 4, cdx::kNoPage); },
       "sibling links"},
      {"first leaf's first two entries swapped",
       [&](std::string* b) {
         cdx::Node n = first_leaf(*b);
         const std::string key(n.key(0));
         const std::uint32_t recno = n.recnos[0];
         n.Erase(0);
         n.Insert(1, key, recno, 0);
         n.EncodeTo(' ', b->data() + n.offset);
       },
       "entry 2 (record 300) is out of order"},
      {"root flag below the root",
       [&](std::string* b) { (*b)[child(1)] = static_cast<char>((*b)[child(1)] | 1); },
       "root flag below the root"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(&bytes);
    MemEnv damaged;
    damaged.PutFile("X.CDX", bytes);
    std::unique_ptr<CdxFile> cdx;
    ASSERT_TRUE(CdxFile::Open(&damaged, "X.CDX", true, &cdx).ok());
    std::string problem;
    EXPECT_TRUE(cdx->Check(0, &problem).IsCorruption());
    EXPECT_NE(problem.find(c.message_part), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace xbase::table_testing
