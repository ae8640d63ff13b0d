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

// (What each page decodes to: CdxFormat below.)
TEST(CdxCorruption, MessagesNameTheFileTagAndNode) {
  const std::string good = Slurp(DataPath("foxpro/PROPERTY.CDX"));
  const std::tuple<const char*, std::size_t, std::string, bool, const char*> cases[] = {
      // what, where, bytes written there (none: cut there), whether the open fails, message
      {"root pointer", 0x600, std::string("\x00\x00\x01\x00", 4), true,
       "PROPERTY.CDX tag FILE_NUM: root pointer 0x10000 is not a node page inside the file"},
      {"key length", 0x60c, std::string("\xf5\x00", 2), true,
       "PROPERTY.CDX tag FILE_NUM header 0x600: key length 245 outside 1..240"},
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
// of 60-byte keys, several levels deep; a tree deeper than a walk goes is damage to a walk too.
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
      {"first leaf's first entry twice",
       [&](std::string* b) {
         cdx::Node n = first_leaf(*b);
         n.SetEntry(1, std::string(n.key(0)), n.recnos[0]);
         n.EncodeTo(' ', b->data() + n.offset);
       },
       "entry 2 (record 300) is out of order"},
      {"root flag below the root",
       [&](std::string* b) { (*b)[child(1)] = static_cast<char>((*b)[child(1)] | 1); },
       "root flag below the root"},
      {"a root 33 levels above its leaf",
       [&](std::string* b) {
         const std::uint32_t top = static_cast<std::uint32_t>(b->size());
         b->resize(top + 33 * cdx::kPageSize, '\0');
         for (std::uint32_t level = 0; level <= 32; ++level) {
           cdx::Node n;
           n.attr = static_cast<std::uint16_t>((level == 0 ? cdx::kAttrRoot : 0) |
                                               (level == 32 ? cdx::kAttrLeaf : 0));
           n.key_length = 60;
           n.Insert(0, std::string(60, 'K'), 1, top + (level + 1) * cdx::kPageSize);
           n.EncodeTo(' ', b->data() + top + level * cdx::kPageSize);
         }
         EncodeFixed32LE(b->data() + 0x600, top);
       },
       "X.CDX tag DEEP: tree deeper than 32 levels"},
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
    const Status s = cdx->Check(0, &problem);
    EXPECT_TRUE(s.IsCorruption());
    EXPECT_NE((problem + s.message()).find(c.message_part), std::string::npos) << problem;
    if (c.what[0] == 'a') {
      EXPECT_EQ(WalkTag(cdx.get(), 0), KeyList({{"walk failed: " + s.ToString(), 0}}));
    }
  }
}

}  // namespace
}  // namespace xbase::table_testing

namespace xbase::cdx {
namespace {

// The bounds of a tag header, each row one header changed at one offset: what decoding it says
// ("" when it decodes).
TEST(CdxFormat, TagHeaderBounds) {
  const std::string good =
      testing::BuildCdx({testing::Shape("T", 8, "NAME", "OK")}).substr(0x600, kHeaderSize);
  const auto u16 = [](int v) { return std::string{char(v & 0xff), char(v >> 8)}; };
  const std::tuple<std::size_t, std::string, const char*> cases[] = {
      {12, u16(1), ""},             {12, u16(240), ""},
      {12, u16(0), "H: key length 0 outside 1..240"},  {12, u16(241), "key length 241 outside"},
      {14, "\x20", ""},             {14, "\xDF", "H: options 0xdf do not mark a compact index"},
      {508, u16(508) + u16(4), ""}, {508, u16(509) + u16(4), "H: key expression at 509 length 4"},
      {508, u16(512) + u16(0), ""}, {508, u16(513) + u16(1), "runs past the expression pool"},
      {508, u16(0) + u16(513), "key expression at 0 length 513 runs past"},
      {504, u16(511) + u16(2), "H: FOR expression at 511 length 2 runs past"},
      {504, u16(511) + u16(1), ""},
  };
  for (const auto& [at, patch, message] : cases) {
    std::string bytes = good;
    bytes.replace(at, patch.size(), patch);
    TagHeader h;
    Status s = TagHeader::DecodeFrom(bytes, "H", &h);
    EXPECT_NE(s.message().find(message), std::string::npos) << at << ": " << s.ToString();
    EXPECT_EQ(s.ok(), *message == '\0') << at;
  }
  // What a header holds, read back from where FoxPro puts it.
  std::string bytes = good;
  const std::pair<std::size_t, std::string> fields[] = {
      {0, std::string("\x00\x0e\x00\x00", 4)}, {4, std::string("\x00\x02\x00\x00", 4)},
      {8, std::string("\x00\x00\x01\x02", 4)}, {502, std::string("\x00\x01", 2)},       {494, "MACHINE"},        {512, std::string("NAME\0OK\0", 8)}};
  for (const auto& [at, patch] : fields) bytes.replace(at, patch.size(), patch);
  TagHeader h;
  ASSERT_TRUE(TagHeader::DecodeFrom(bytes, "H", &h).ok());
  EXPECT_EQ(std::tuple(h.root, h.free_list, h.version, h.key_length, h.options, h.signature,
                       h.descending, h.key_expr, h.for_expr, h.collation),
            std::tuple(0xe00u, 0x200u, 0x102u, 8, std::uint8_t(0x68), std::uint8_t(1), true,
                       std::string("NAME"), std::string("OK"), std::string("MACHINE")));
  EXPECT_TRUE(h.machine_collation());
  std::string links(12, '\0');
  h.EncodeLinksTo(links.data());
  EXPECT_EQ(links, bytes.substr(0, 12));
  for (const auto& [coll, shown] : {std::pair<std::string, const char*>{"GENERAL", "GENERAL"},
                                    {"~ A", "~ A"},
                                    {std::string("AB\x7F", 3), "41427F0000000000"},
                                    {"\x1F", "1F00000000000000"},
                                    {std::string("\0X", 2), "0058000000000000"}}) {
    std::string b = good;
    b.replace(TagHeader::kCollationOffset, coll.size(), coll);
    ASSERT_TRUE(TagHeader::DecodeFrom(b, "H", &h).ok());
    EXPECT_EQ(h.collation, shown);
    EXPECT_FALSE(h.machine_collation());
  }
  EXPECT_EQ(TagHeader::DecodeFrom(good.substr(0, 1023), "H", &h).message(),
            "H: header is 1023 bytes, needs 1024");
}

// The bounds of a node page: the leaf's bit layout, and how many entries a page holds.
TEST(CdxFormat, NodeBounds) {
  // An empty root leaf with the given masks and bit counts: record, dup, trail; entry bytes.
  const auto leaf = [](std::uint32_t rec_mask, int dup_mask, int trl_mask, int rec_bits,
                       int dup_bits, int trl_bits, int entry_bytes) {
    std::string page(kPageSize, '\0');
    EncodeFixed16LE(page.data(), kAttrRoot | kAttrLeaf);
    EncodeFixed32LE(page.data() + 4, kNoPage);
    EncodeFixed32LE(page.data() + 8, kNoPage);
    EncodeFixed16LE(page.data() + 12, kPageSize - kLeafHeaderSize);
    EncodeFixed32LE(page.data() + 14, rec_mask);
    const int bytes[] = {dup_mask, trl_mask, rec_bits, dup_bits, trl_bits, entry_bytes};
    for (int i = 0; i < 6; ++i) page[18 + i] = static_cast<char>(bytes[i]);
    return page;
  };
  const std::pair<std::string, bool> layouts[] = {
      {leaf(0xF, 3, 3, 4, 2, 2, 1), true},         {leaf(0xF, 3, 3, 4, 2, 2, 0), false},
      {leaf(0xFFFFFFFF, 0xFF, 0xFF, 32, 16, 16, 8), true},
      {leaf(0xFFFFFFFF, 0xFF, 0xFF, 32, 16, 16, 9), false},
      {leaf(0xFFFFFFFF, 0xFF, 0xFF, 33, 15, 16, 8), false},
      {leaf(0xF, 3, 3, 4, 2, 3, 1), false},        {leaf(0, 3, 3, 4, 2, 2, 1), false},
      {leaf(0x1F, 3, 3, 4, 2, 2, 1), false},       {leaf(0xF, 7, 3, 4, 2, 2, 1), false},
      {leaf(0xF, 3, 7, 4, 2, 2, 1), false},        {leaf(0xFF, 0xFF, 0xFF, 8, 8, 8, 3), true},
      {leaf(0xF, 1, 1, 4, 1, 1, 1), true},
  };
  Node n;
  for (const auto& [page, ok] : layouts) {
    Status s = Node::DecodeFrom(page, 0x400, 8, ' ', "T", &n);
    EXPECT_EQ(s.ok(), ok) << s.ToString();
    if (!ok) EXPECT_NE(s.message().find("T node 0x400: inconsistent leaf bit layout"), std::string::npos);
  }
  // Entries of 5 bytes (record numbers of 32 bits): 97 fit a page, 98 do not; blank keys take no
  // key bytes, so three key bytes fill it to its last byte. Interior entries of 8-byte keys take
  // 16 bytes: 31 fit, 32 do not, none is damage.
  n = Node();
  n.attr = kAttrRoot | kAttrLeaf, n.key_length = 8;
  for (int i = 0; i < 97; ++i) n.Insert(n.size(), i ? "        " : "ABC     ", 0xFFFFFFFF - i, 0);
  EXPECT_EQ(n.EncodedSize(' '), kPageSize);
  std::string page(kPageSize, '\0');
  n.EncodeTo(' ', page.data());
  Node back;
  EXPECT_TRUE(Node::DecodeFrom(page, 0x400, 8, ' ', "T", &back).ok());
  EXPECT_EQ(std::tuple(back.keys, back.recnos), std::tuple(n.keys, n.recnos));
  EncodeFixed16LE(page.data() + 2, 98);
  EXPECT_EQ(Node::DecodeFrom(page, 0x400, 8, ' ', "T", &back).message(),
            "T node 0x400: key count 98 exceeds node size");
  n = Node();
  n.attr = kAttrRoot, n.key_length = 8;
  for (int i = 0; i < 31; ++i) n.Insert(n.size(), "ABCDEFGH", i, 0x600 + i);
  EXPECT_EQ(n.EncodedSize(' '), 12 + 31 * 16u);
  n.EncodeTo(' ', page.data());
  EXPECT_EQ(page.substr(12 + 31 * 16), std::string(4, '\0'));  // the unused bytes are zero
  EXPECT_TRUE(Node::DecodeFrom(page, 0x400, 8, ' ', "T", &back).ok());
  EXPECT_EQ(back.children, n.children);
  for (const auto& [count, message] : {std::pair{32, "key count 32 exceeds node size"},
                                      {0, "interior node without keys"}}) {
    EncodeFixed16LE(page.data() + 2, static_cast<std::uint16_t>(count));
    EXPECT_EQ(Node::DecodeFrom(page, 0x400, 8, ' ', "T", &back).message(),
              std::string("T node 0x400: ") + message);
  }
  EncodeFixed16LE(page.data(), 4);
  EXPECT_EQ(Node::DecodeFrom(page, 0x400, 8, ' ', "T", &back).message(),
            "T node 0x400: unknown node type 0x4");
  EXPECT_EQ(Node::DecodeFrom(page.substr(0, 511), 0x400, 8, ' ', "T", &back).message(),
            "T node 0x400: only 511 bytes");
  // The leaf layout FoxPro picks: dup and trail counts as wide as the key length needs, record
  // numbers in the rest of the smallest entry of three bytes or more that holds them.
  std::string got;
  for (const auto& [key_length, max_recno] : {std::pair{8, 1u}, {10, 65535u}, {10, 65536u},
                                             {1, 5u}, {240, 0xFFFFFFFFu}, {15, 0u}, {16, 0x3FFFFu}}) {
    const LeafLayout l = LeafLayout::For(key_length, max_recno);
    got += std::to_string(l.count_bits) + "/" + std::to_string(l.rec_bits) + "/" +
           std::to_string(l.entry_bytes) + " ";
  }
  EXPECT_EQ(got, "4/16/3 4/16/3 4/24/4 1/22/3 8/32/6 4/16/3 5/22/4 ");
}

}  // namespace
}  // namespace xbase::cdx
