// Reindex over the fixture and FoxPro-made tables, their indexes intact and damaged on purpose:
// the rebuilt index holds the original's entries key for key and passes both checkers; an index
// it cannot rebuild, or a table another program holds, is left byte for byte as it was.
#include "platform/xbase/reindex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/xbase/cdx_test_util.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::KeyList;
using table_testing::Slurp;

std::vector<KeyList> AllTags(const std::string& dbf) {
  auto table = table_testing::OpenOrDie(Env::Default(), dbf, {.read_only = true});
  std::vector<KeyList> tags;
  for (std::size_t t = 0; t < table->tags().size(); ++t)
    tags.push_back(table_testing::WalkTag(table.get(), static_cast<int>(t)));
  return tags;
}

// What a tag is, apart from where its header lies.
std::vector<std::string> TagInfos(const std::string& dbf) {
  std::vector<std::string> out;
  auto table = table_testing::OpenOrDie(Env::Default(), dbf, {.read_only = true});
  for (const TagInfo& t : table->tags()) {
    out.push_back(t.name + "|" + t.key_expr + "|" + t.for_expr + "|" +
                  std::to_string(t.key_length) + (t.descending ? "|desc" : "") +
                  (t.unique ? "|unique" : "") + "|" + t.collation + "|" +
                  std::to_string(t.options));
  }
  return out;
}

void Overwrite(const std::string& path, std::uint64_t at, const std::string& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

enum class Damage {
  kNone, kRootsGarbage, kEntriesLost, kCompoundHeader, kHeaderLockHeld, kOpenElsewhere };

struct Case {
  const char* set;
  std::vector<const char*> names;
  Damage damage;
  std::vector<testing::TagShape> shapes;  // a PROPERTY.CDX of these tags, empty, instead
};

testing::TagShape Shape(const char* name, const char* key, int length, const char* for_expr,
                        bool descending, bool unique, const char* collation = "") {
  return {name, length, key, for_expr, descending, unique, collation};
}

TEST(Reindex, RebuildsEveryTagOrLeavesTheIndexAlone) {
  const std::vector<const char*> fixtures = {"PROPERTY", "CLIENT", "INVOICE"};
  const std::vector<const char*> real = {"PERSON2", "OFFICE", "SAMPLE", "BUILDING", "EMPLOYEE"};
  const std::vector<testing::TagShape> shapes = {
      Shape("FILE_DESC", "UPPER(FILE_NUM)", 8, "", true, true),
      Shape("LIVE", "CLI_NUM", 5, "!DELETED()", false, false)};
  const Case cases[] = {
      {"foxpro", fixtures, Damage::kNone, {}},
      {"foxpro-real", real, Damage::kNone, {}},
      {"foxpro", fixtures, Damage::kRootsGarbage, {}},
      {"foxpro-real", real, Damage::kEntriesLost, {}},
      {"foxpro", {"PROPERTY"}, Damage::kNone, shapes},
      {"foxpro", {"PROPERTY"}, Damage::kNone, {Shape("G", "FILE_NUM", 8, "", 0, 0, "GENERAL")}},
      {"foxpro-real", {"PERSON2"}, Damage::kCompoundHeader, {}},
      {"foxpro", {"CLIENT"}, Damage::kHeaderLockHeld, {}},
      {"foxpro", {"INVOICE"}, Damage::kOpenElsewhere, {}},
  };
  for (const Case& c : cases) {
    table_testing::TempDir dir;
    table_testing::CopyFixtures(c.set, dir.path());
    bool refused = c.damage >= Damage::kCompoundHeader;
    for (const char* name : c.names) {
      SCOPED_TRACE(std::string(name) + " damage " + std::to_string(static_cast<int>(c.damage)));
      const std::string dbf = dir / (std::string(name) + ".DBF");
      const std::string cdx = dir / (std::string(name) + ".CDX");
      if (!c.shapes.empty()) {
        std::ofstream(cdx, std::ios::binary | std::ios::trunc) << testing::BuildCdx(c.shapes);
        refused = !c.shapes[0].collation.empty();
      }
      const std::vector<KeyList> original = AllTags(dbf);
      std::unique_ptr<File> holder;
      if (c.damage == Damage::kRootsGarbage || c.damage == Damage::kEntriesLost) {
        auto table = table_testing::OpenOrDie(Env::Default(), dbf);
        for (std::size_t t = 0; t < table->tags().size(); ++t) {
          if (c.damage == Damage::kEntriesLost) {
            const auto& [key, recno] = original[t].back();
            ASSERT_TRUE(table->cdx()->Delete(static_cast<int>(t), key, recno).ok());
            ASSERT_TRUE(table->cdx()->Flush().ok());
            continue;
          }
          std::string head(4, '\0');
          std::ifstream(cdx, std::ios::binary)
              .seekg(table->tags()[t].header_offset)
              .read(head.data(), 4);
          Overwrite(cdx, DecodeFixed32LE(head.data()), std::string(512, '\xAB'));
        }
      } else if (c.damage == Damage::kCompoundHeader) {
        Overwrite(cdx, 12, std::string(2, '\0'));  // the directory's key length
      } else if (c.damage == Damage::kHeaderLockHeld) {
        ASSERT_TRUE(Env::Default()->OpenFile(dbf, false, &holder).ok());
        ASSERT_TRUE(holder->TryLock(kIndexedHeaderLock, 1, true).ok());
      }
      pid_t other = -1;  // another program with the index open, and no lock held
      if (c.damage == Damage::kOpenElsewhere) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        if ((other = fork()) == 0) {
          const int fd = open(cdx.c_str(), O_RDONLY);
          (void)!write(ready[1], "x", fd >= 0 ? 1 : 0);
          pause();
        }
        char x;
        ASSERT_EQ(read(ready[0], &x, 1), 1);
      }
      const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                        std::filesystem::perms::group_read;
      std::filesystem::permissions(cdx, mode);  // the new index takes the old one's over
      const std::string before = Slurp(cdx);
      std::vector<std::string> tags_before;
      if (!refused) tags_before = TagInfos(dbf);
      ReindexResult result;
      Status s = Reindex(dbf, {.lock_timeout_micros = 20'000}, &result);
      EXPECT_FALSE(std::filesystem::exists(cdx + ".new"));
      if (other > 0) {
        kill(other, SIGKILL);
        waitpid(other, nullptr, 0);
      }
      if (refused) {
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(Slurp(cdx), before);
        continue;
      }
      ASSERT_TRUE(s.ok()) << s.ToString();
      EXPECT_EQ(TagInfos(dbf), tags_before);
      EXPECT_EQ(std::filesystem::status(cdx).permissions(), mode);
      if (c.shapes.empty()) {
        EXPECT_EQ(AllTags(dbf), original);
      }
    }
    if (!refused) table_testing::ExpectConsistent(dir.path());
  }
}

}  // namespace
}  // namespace xbase
