// Reindex over the fixture and FoxPro-made tables, their indexes intact and damaged on purpose:
// the rebuilt index holds the original's entries key for key and passes both checkers; an index
// it cannot rebuild, or a table another program holds, is left byte for byte as it was.
#include "platform/xbase/reindex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "platform/xbase/cdx_test_util.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/foreign_lock.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

std::vector<KeyList> AllTags(const std::string& dbf) {
  auto table = OpenOrDie(Env::Default(), dbf, {.read_only = true});
  std::vector<KeyList> tags;
  for (std::size_t t = 0; t < table->tags().size(); ++t)
    tags.push_back(WalkTag(table.get(), static_cast<int>(t)));
  return tags;
}

// What a tag is, apart from where its header lies.
std::vector<std::string> TagInfos(const std::string& dbf) {
  std::vector<std::string> out;
  auto table = OpenOrDie(Env::Default(), dbf, {.read_only = true});
  for (const TagInfo& t : table->tags()) {
    out.push_back(t.name + "|" + t.key_expr + "|" + t.for_expr + "|" +
                  std::to_string(t.key_length) + (t.descending ? "|desc" : "") +
                  (t.unique ? "|unique" : "") + "|" + t.collation + "|" +
                  std::to_string(t.options));
  }
  return out;
}

void Overwrite(const std::string& path, std::uint64_t at, const std::string& bytes) {
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(at) << bytes;
}

enum class Damage {
  kNone, kRootsGarbage, kEntriesLost, kCompoundHeader, kHeaderLockHeld, kOpenElsewhere };

struct Case {
  const char* set;
  std::vector<const char*> names;
  Damage damage;
  std::vector<testing::TagShape> shapes;  // a PROPERTY.CDX of these tags, empty, instead
};

TEST(Reindex, RebuildsEveryTagOrLeavesTheIndexAlone) {
  const std::vector<const char*> fixtures = {"PROPERTY", "CLIENT", "INVOICE"};
  const std::vector<const char*> real = {"PERSON2", "OFFICE", "SAMPLE", "BUILDING", "EMPLOYEE"};
  const std::vector<testing::TagShape> shapes = {
      {"FILE_DESC", 8, "UPPER(FILE_NUM)", "", true, true, ""},
      {"LIVE", 5, "CLI_NUM", "!DELETED()", false, false, ""}};
  const std::map<std::string, std::vector<Values>> changes = {
      {"OFFICE",
       {{{"OFFICE_NO", "-5"}, {"BUILD_NO", "3"}},
        {{"OFFICE_NO", "1000000"}, {"BUILD_NO", "0"}},
        {{"BUILD_NO", "2"}},
        {{"OFFICE_NO", "7"}, {"BUILD_NO", "-1.5"}},
        {{"OFFICE_NO", "42"}}}},
      {"PERSON2",
       {{{"L_NAME", "Zeta"}, {"F_NAME", "Ann"}, {"STARTDATE", "1999-12-31"}, {"AGE", "30"}},
        {{"L_NAME", "Almond"}, {"F_NAME", "Ann"}, {"AGE", "24"}},
        {{"L_NAME", "Almond"}, {"F_NAME", "Ann"}, {"STARTDATE", "1901-01-01"}},
        {{"STARTDATE", "2001-02-03"}}}},
  };
  const Case cases[] = {
      {"foxpro", fixtures, Damage::kNone, {}},
      {"foxpro-real", real, Damage::kNone, {}},
      {"foxpro", fixtures, Damage::kRootsGarbage, {}},
      {"foxpro-real", real, Damage::kEntriesLost, {}},
      {"foxpro", {"PROPERTY"}, Damage::kNone, shapes},
      {"foxpro", {"PROPERTY"}, Damage::kNone, {{"G", 8, "FILE_NUM", "", false, false, "GENERAL"}}},
      {"foxpro-real", {"PERSON2"}, Damage::kCompoundHeader, {}},
      {"foxpro", {"CLIENT"}, Damage::kHeaderLockHeld, {}},
      {"foxpro", {"INVOICE"}, Damage::kOpenElsewhere, {}},
  };
  for (const Case& c : cases) {
    FixtureDir dir(c.set);
    bool refused = c.damage >= Damage::kCompoundHeader;
    for (const char* name : c.names) {
      SCOPED_TRACE(std::string(name) + " damage " + std::to_string(static_cast<int>(c.damage)));
      const std::string dbf = dir / (std::string(name) + ".DBF");
      const std::string cdx = dir / (std::string(name) + ".CDX");
      if (!c.shapes.empty()) {
        std::ofstream(cdx, std::ios::binary | std::ios::trunc) << testing::BuildCdx(c.shapes);
        refused = !c.shapes[0].collation.empty();
      }
      if (c.damage == Damage::kNone && changes.count(name)) {
        // Rows appended through the Table, the last one an edit of record 1, on FoxPro's numeric,
        // date and concatenated keys: the tags it kept are the tags rebuilt from the records.
        auto table = OpenOrDie(Env::Default(), dbf);
        const auto& rows = changes.at(name);
        for (std::size_t i = 0; i < rows.size(); ++i)
          ASSERT_TRUE(Write(table.get(), i + 1 < rows.size() ? 0 : 1, rows[i]).ok()) << i;
      }
      const std::vector<KeyList> original = AllTags(dbf);
      std::unique_ptr<File> holder;
      if (c.damage == Damage::kRootsGarbage || c.damage == Damage::kEntriesLost) {
        auto table = OpenOrDie(Env::Default(), dbf);
        for (std::size_t t = 0; t < table->tags().size(); ++t) {
          if (c.damage == Damage::kEntriesLost) {
            const auto& [key, recno] = original[t].back();
            ASSERT_TRUE(table->cdx()->Delete(static_cast<int>(t), key, recno).ok());
            ASSERT_TRUE(table->cdx()->Flush().ok());
            continue;
          }
          const std::uint32_t at = table->tags()[t].header_offset;
          Overwrite(cdx, DecodeFixed32LE(Slurp(cdx).data() + at), std::string(512, '\xAB'));
          Overwrite(cdx, at + 4, "\xAB\xAB\xAB\xAB");  // and the tag's free-list pointer
        }
      } else if (c.damage == Damage::kCompoundHeader) {
        Overwrite(cdx, 12, std::string(2, '\0'));  // the directory's key length
      } else if (c.damage == Damage::kHeaderLockHeld) {
        ASSERT_TRUE(Env::Default()->OpenFile(dbf, false, &holder).ok());
        ASSERT_TRUE(holder->TryLock(kIndexedHeaderLock, 1, true).ok());
      }
      std::optional<ForeignLock> other;  // another program with the index open
      if (c.damage == Damage::kOpenElsewhere) other.emplace(cdx, 1ull << 40, 1, false);
      const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                        std::filesystem::perms::group_read;
      std::filesystem::permissions(cdx, mode);  // the new index takes the old one's over
      const std::string before = Slurp(cdx);
      std::vector<std::string> tags_before;
      if (!refused) tags_before = TagInfos(dbf);
      ReindexResult result;
      Status s = Reindex(dbf, {.lock_timeout_micros = 20'000}, &result);
      EXPECT_FALSE(std::filesystem::exists(cdx + ".new"));
      other.reset();
      if (refused) {
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(Slurp(cdx), before);
        continue;
      }
      ASSERT_TRUE(s.ok()) << s.ToString();
      EXPECT_EQ(TagInfos(dbf), tags_before);
      EXPECT_EQ(std::filesystem::status(cdx).permissions(), mode);
      auto rebuilt = OpenOrDie(Env::Default(), dbf, {.read_only = true});
      for (const TagInfo& t : rebuilt->tags())  // no free list in a new index
        EXPECT_EQ(DecodeFixed32LE(Slurp(cdx).data() + t.header_offset + 4), 0u) << t.name;
      if (c.shapes.empty()) {
        EXPECT_EQ(AllTags(dbf), original);
      }
    }
    if (!refused) ExpectConsistent(dir.path());
  }
}

}  // namespace
}  // namespace xbase::table_testing
