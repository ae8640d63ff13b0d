// CdxFile against a std::multimap model under thousands of random changes, and its trees, pages
// and failed writes (its refresh after another process's flush: two_process_test.cc). The
// indexes of the reference engine and of FoxPro itself are checked through the Table.
#include "platform/xbase/cdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "cdx_test_util.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::testing {
namespace {

using table_testing::KeyList;
using table_testing::WalkTag;

// T.CDX opened for writing as a new index of these tags, or (none) read-only as it is.
std::unique_ptr<CdxFile> OpenOrDie(MemEnv* env, const std::vector<TagShape>& fresh = {}) {
  if (!fresh.empty()) env->PutFile("T.CDX", BuildCdx(fresh));
  std::unique_ptr<CdxFile> cdx;
  Status s = CdxFile::Open(env, "T.CDX", fresh.empty(), &cdx);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return cdx;
}

std::string CheckProblem(CdxFile* cdx, int tag) {
  std::string problem;
  Status s = cdx->Check(tag, &problem);
  if (!s.ok() && problem.empty()) problem = s.ToString();
  return problem;
}

// Whether the tag's root in T.CDX is an interior node (the tree has more than one level).
bool RootIsInterior(MemEnv* env, const TagInfo& tag) {
  std::string bytes;
  env->GetFile("T.CDX", &bytes);
  const std::uint32_t root = DecodeFixed32LE(bytes.data() + tag.header_offset);
  return (DecodeFixed16LE(bytes.data() + root) & cdx::kAttrLeaf) == 0;
}

// Every interior entry of the tag on disk is its child's last key and record, as FoxPro writes
// them ("" when so). Both checkers accept any upper bound there, so they cannot see a stale one.
std::string StaleSeparator(MemEnv* env, const TagInfo& tag, char trail) {
  std::string bytes;
  env->GetFile("T.CDX", &bytes);
  std::function<std::string(std::uint32_t, cdx::Node*)> visit = [&](std::uint32_t at,
                                                                    cdx::Node* n) {
    Status s = cdx::Node::DecodeFrom(std::string_view(bytes).substr(at, cdx::kPageSize), at,
                                     tag.key_length, trail, "T", n);
    for (std::size_t i = 0; s.ok() && !n->is_leaf() && i < n->size(); ++i) {
      cdx::Node child;
      std::string problem = visit(n->children[i], &child);
      if (!problem.empty()) return problem;
      if (child.size() == 0 || cdx::LastKey(child) != n->key(i) ||
          child.recnos.back() != n->recnos[i])
        return "node " + cdx::Hex(at) + " entry " + std::to_string(i + 1);
    }
    return s.ok() ? std::string() : s.ToString();
  };
  cdx::Node root;
  return visit(DecodeFixed32LE(bytes.data() + tag.header_offset), &root);
}

std::string Key8(int i) {
  char key[9];
  std::snprintf(key, sizeof(key), "K%07d", i);
  return key;
}

// A 240-byte key: head, then blanks or, from byte `from` on, letters that differ with i.
std::string Key240(const std::string& head, int i, int from = 240) {
  std::string key = head + std::string(240 - head.size(), ' ');
  for (int j = from; j < 240; ++j) key[j] = static_cast<char>('a' + (j * 7 + i) % 26);
  return key;
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
  for (std::size_t i = 0; i < body; ++i) key[i] = i < 3 ? 'K' : digits[(i - 3) % 7];
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
    MemEnv env;
    auto cdx = OpenOrDie(&env, {{"T", c.key_length, "KEY", "", c.descending, c.unique, ""}});
    ASSERT_TRUE(cdx);
    cdx->SetKeyType(0, c.type);
    const char trail = c.type == 'C' ? ' ' : '\0';
    std::mt19937 rng(1234);
    std::set<std::pair<std::string, std::uint32_t>> model;  // index order: key, then recno
    std::map<std::uint32_t, std::string> by_recno;
    std::uint32_t next_recno = 1;
    bool was_deep = false;
    std::pair<std::string, std::uint32_t> deleted;
    // An entry with the key already there (a unique tag keeps the first record with it).
    auto add = [&](const std::string& key, std::uint32_t recno) {
      auto at = model.lower_bound({key, 0});
      if (c.unique && at != model.end() && at->first == key) return;
      model.emplace(key, recno);
      by_recno[recno] = key;
    };
    for (int op = 0; op < c.operations; ++op) {
      // Grow for the first two thirds, then shrink: splits first, merges and frees after. A
      // third of the rest move a record's key, to a neighbouring key or to any.
      const bool grow = op < c.operations * 2 / 3 ? rng() % 4 != 0 : rng() % 4 == 0;
      if (grow || by_recno.empty()) {
        const std::string key = RandomKey(&rng, c);
        const std::uint32_t recno = next_recno++;
        ASSERT_TRUE(cdx->Insert(0, key, recno).ok());
        add(key, recno);
      } else if (auto it = std::next(by_recno.begin(), rng() % by_recno.size()); rng() % 3 == 0) {
        const auto [recno, old_key] = *it;
        model.erase({old_key, recno});
        by_recno.erase(it);
        std::string key = RandomKey(&rng, c);
        if (rng() % 2 == 0) {
          key = old_key;
          const std::size_t last = key.find_last_not_of(trail);
          key[last] = static_cast<char>(key[last] ^ 1);
        }
        ASSERT_TRUE(cdx->Replace(0, old_key, key, recno).ok()) << op;
        add(key, recno);
      } else {
        ASSERT_TRUE(cdx->Delete(0, it->second, it->first).ok()) << op;
        deleted = {it->second, it->first};
        model.erase({it->second, it->first});
        by_recno.erase(it);
      }
      if (op % 100 == 99) {
        ASSERT_EQ(CheckProblem(cdx.get(), 0), "") << "after operation " << op;
        ASSERT_TRUE(cdx->Flush().ok());
        ASSERT_EQ(StaleSeparator(&env, cdx->tags()[0], trail), "") << "after operation " << op;
        was_deep = was_deep || RootIsInterior(&env, cdx->tags()[0]);
      }
    }
    EXPECT_TRUE(was_deep) << "the tree never grew a second level";
    KeyList want(model.begin(), model.end());
    if (c.descending) std::reverse(want.begin(), want.end());
    EXPECT_EQ(WalkTag(cdx.get(), 0), want);
    // Every key is found at its lowest record; a deleted one is not.
    for (auto it = model.begin(); it != model.end();
         it = model.lower_bound({it->first, cdx::kNoPage})) {
      bool found = false;
      std::uint32_t recno = 0;
      ASSERT_TRUE(cdx->Seek(0, it->first, &found, &recno).ok());
      ASSERT_TRUE(found);
      ASSERT_EQ(recno, it->second);
    }
    // Refused: a key of another length (also as a move's old key), record 0, an entry the tag
    // has; deletes of entries it does not have change nothing.
    EXPECT_EQ(cdx->Insert(0, "x", 1).code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(cdx->Replace(0, "x", deleted.first, 1).code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(cdx->Insert(0, deleted.first, 0).code(), Status::Code::kInvalidArgument);
    if (!c.unique && !want.empty()) {
      EXPECT_EQ(cdx->Insert(0, want[0].first, want[0].second).code(), Status::Code::kDuplicate);
    }
    EXPECT_EQ(cdx->Delete(0, deleted.first, next_recno).code(), Status::Code::kNotFound);
    EXPECT_EQ(cdx->Delete(0, deleted.first, deleted.second).code(), Status::Code::kNotFound);
    // Emptied, the tag is an empty root leaf with every other page on the free list (the change
    // counter moved once for the flush); refilled, it uses them before the file grows.
    ASSERT_TRUE(cdx->Flush().ok());
    std::string full, bytes;
    env.GetFile("T.CDX", &full);
    for (const auto& [k, r] : want) ASSERT_TRUE(cdx->Delete(0, k, r).ok()) << r;
    ASSERT_TRUE(cdx->Flush().ok());
    env.GetFile("T.CDX", &bytes);
    EXPECT_EQ(DecodeFixed32BE(bytes.data() + 8), DecodeFixed32BE(full.data() + 8) + !want.empty());
    EXPECT_EQ(WalkTag(cdx.get(), 0), KeyList());
    EXPECT_EQ(CheckProblem(cdx.get(), 0), "");
    EXPECT_FALSE(RootIsInterior(&env, cdx->tags()[0]));
    std::set<std::uint32_t> free_pages;
    for (std::uint32_t p = DecodeFixed32LE(bytes.data() + 4); p != 0 && p != cdx::kNoPage;
         p = DecodeFixed32LE(bytes.data() + p)) {
      ASSERT_EQ(p % cdx::kPageSize, 0u);
      ASSERT_LT(p, bytes.size());
      ASSERT_TRUE(free_pages.insert(p).second) << "free list loops";
    }
    EXPECT_EQ(free_pages.size(), (bytes.size() - 0x600 - 0x400) / cdx::kPageSize - 1);
    for (const auto& [k, r] : model) ASSERT_TRUE(cdx->Insert(0, k, r).ok()) << r;
    ASSERT_TRUE(cdx->Flush().ok());
    env.GetFile("T.CDX", &bytes);
    EXPECT_LE(bytes.size(), full.size()) << "freed pages are used again before the file grows";
    EXPECT_EQ(StaleSeparator(&env, cdx->tags()[0], trail), "");
    // A flush with nothing to write leaves the file alone, change counter included.
    ASSERT_TRUE(cdx->Flush().ok());
    env.GetFile("T.CDX", &full);
    EXPECT_TRUE(full == bytes);
    cdx.reset();
    auto again = OpenOrDie(&env);
    again->SetKeyType(0, c.type);
    EXPECT_EQ(WalkTag(again.get(), 0), want);
    EXPECT_EQ(CheckProblem(again.get(), 0), "");
    EXPECT_EQ(again->Insert(0, deleted.first, next_recno).code(), Status::Code::kInvalidArgument);
  }
}

// Interior pages take as many entries as fit in their 500 bytes: 25 of 12-byte keys fill them.
TEST(CdxTree, InteriorPagesHoldAsManyEntriesAsFit) {
  MemEnv env;
  auto cdx = OpenOrDie(&env, {Shape("T", 12)});
  std::size_t most = 0;
  for (int i = 1; i <= 10000; ++i) {
    ASSERT_TRUE(cdx->Insert(0, Key8(i) + "    ", i).ok());
    if (i % 5 != 0) continue;
    ASSERT_TRUE(cdx->Flush().ok());
    std::string bytes;
    env.GetFile("T.CDX", &bytes);
    const char* root = bytes.data() + DecodeFixed32LE(bytes.data() + cdx->tags()[0].header_offset);
    if (DecodeFixed16LE(root) & cdx::kAttrLeaf) continue;
    if (DecodeFixed16LE(root + 2) < most) break;  // the root split: a third level
    most = DecodeFixed16LE(root + 2);
  }
  EXPECT_EQ(most, 25u);
}

// 240-byte keys, two to a leaf. A leaf whose middle split would leave one half too big (two keys
// of 240 distinct bytes among short ones) is split where both halves fit. Deletes written out one
// by one leave sibling links that hold on disk, also where a leaf is emptied beside neighbours too
// full to merge with.
TEST(CdxTree, LongKeysSplitWhereBothHalvesFitAndDeletesKeepTheSiblingLinksOnDisk) {
  MemEnv env;
  auto cdx = OpenOrDie(&env, {Shape("T", 240)});
  std::vector<std::pair<std::string, int>> keys;
  for (int i = 1; i <= 32; ++i) {
    keys.emplace_back(i > 30 ? Key240("A", i, 1) : Key240("B" + Key8(i), i), i);
    ASSERT_TRUE(cdx->Insert(0, keys.back().first, i).ok()) << i;
  }
  EXPECT_EQ(CheckProblem(cdx.get(), 0), "");
  for (int i = 1; i <= 40; ++i) {
    keys.emplace_back(Key240(Key8(i), i, 8), i);
    ASSERT_TRUE(cdx->Insert(0, keys.back().first, i).ok());
  }
  std::shuffle(keys.begin() + 32, keys.end(), std::mt19937(7));
  std::rotate(keys.begin(), keys.begin() + 32, keys.end());  // the short keys go last
  for (const auto& [key, recno] : keys) {
    ASSERT_TRUE(cdx->Delete(0, key, recno).ok() && cdx->Flush().ok());
    auto disk = OpenOrDie(&env);
    ASSERT_EQ(CheckProblem(disk.get(), 0), "") << "after deleting " << key.substr(0, 9);
  }
}

// A key moved within its leaf to one that no longer fits there splits the leaf; a move of an
// entry the tag lacks puts the new entry in.
TEST(CdxTree, AMoveThatOverflowsItsLeafSplitsIt) {
  MemEnv env;
  auto cdx = OpenOrDie(&env, {Shape("T", 240)});
  auto key = [](int i, bool long_tail) { return Key240("K" + Key8(i), i, long_tail ? 9 : 240); };
  KeyList want;
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(cdx->Insert(0, key(i, false), i).ok());
    want.emplace_back(key(i, i == 2 || i == 3), i);
  }
  for (int i : {2, 3}) ASSERT_TRUE(cdx->Replace(0, key(i, false), key(i, true), i).ok()) << i;
  ASSERT_TRUE(cdx->Replace(0, key(6, false), key(6, false), 6).ok());
  want.emplace_back(key(6, false), 6);
  ASSERT_TRUE(cdx->Flush().ok());
  EXPECT_TRUE(RootIsInterior(&env, cdx->tags()[0]));
  EXPECT_EQ(WalkTag(cdx.get(), 0), want);
  EXPECT_EQ(CheckProblem(cdx.get(), 0), "");
  EXPECT_EQ(StaleSeparator(&env, cdx->tags()[0], ' '), "");
}

// More pages changed than the cache keeps between operations: the flush writes every one.
TEST(CdxTree, AFlushWritesEveryChangedPageHoweverManyThereAre) {
  MemEnv env;
  auto cdx = OpenOrDie(&env, {Shape("T", 240)});
  KeyList want;
  for (std::uint32_t i = 1; i <= 4400; ++i) {  // two to a leaf: 2,200 leaves
    want.emplace_back(Key8(static_cast<int>(i)) + std::string(232, 'x'), i);
    ASSERT_TRUE(cdx->Insert(0, want.back().first, i).ok());
  }
  ASSERT_TRUE(cdx->Flush().ok());
  EXPECT_EQ(WalkTag(OpenOrDie(&env).get(), 0), want);
  EXPECT_EQ(WalkTag(cdx.get(), 1),  // a tag number past the last
            KeyList({{"walk failed: Invalid argument: no tag number 1", 0}}));
}

// A free list that points where no free page can be (inside a page, at a tag's header, past the
// end) is damage: the first page the index needs is refused.
TEST(CdxFile, AFreeListPointingAtNoFreePageIsRefused) {
  std::string bytes = BuildCdx({Shape("T", 8)});
  MemEnv env;
  const auto size = static_cast<std::uint32_t>(bytes.size());
  const std::uint32_t tag_header = OpenOrDie(&env, {Shape("T", 8)})->tags()[0].header_offset;
  for (std::uint32_t head : {size - cdx::kPageSize - 1, tag_header, size}) {
    EncodeFixed32LE(bytes.data() + 4, head);
    env.PutFile("T.CDX", bytes);
    std::unique_ptr<CdxFile> cdx;
    ASSERT_TRUE(CdxFile::Open(&env, "T.CDX", false, &cdx).ok());
    Status s;
    for (int i = 1; s.ok() && i <= 300; ++i) s = cdx->Insert(0, Key8(i), i);
    EXPECT_EQ(s.ToString(), "Corruption: T.CDX: free list points to " + cdx::Hex(head) +
                                ", not a free page");
  }
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
}  // namespace xbase::testing
