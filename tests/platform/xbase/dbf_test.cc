// The DBF codec: FoxPro's formatting of written values, code pages, and damaged headers.
#include "platform/xbase/dbf.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/xbase/codepage.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::DataPath;
using table_testing::MakeDbf;
using table_testing::Slurp;

TEST(Record, WritesValuesInFoxProFormat) {
  table_testing::CommaLocale comma;
  DbfLayout layout;
  const std::string dbf = MakeDbf({{"NAME", 'C', 6, 0}, {"AMT", 'N', 8, 2}, {"QTY", 'N', 4, 0},
                                  {"DT", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NOTES", 'M', 10, 0}},
                                 0x03);
  ASSERT_TRUE(DbfLayout::Decode(dbf, &layout).ok());
  Record rec(&layout, &CodePage::ForMark(0x03));
  struct Case {
    const char* field;
    const char* input;
    const char* stored;  // nullptr: refused
  } cases[] = {
      {"NAME", "ab", "ab    "},     {"NAME", "abcdefgh", "abcdef"},  {"NAME", "Muñoz", "Mu\xF1oz "},
      {"NAME", "€5", "\x80" "5    "}, {"NAME", "日本", "??    "},       {"NAME", "", "      "},
      {"AMT", "450", "  450.00"},    {"AMT", "-1.005", "   -1.00"},    {"AMT", "-0", "    0.00"},
      {"AMT", "12345.678", "12345.68"}, {"AMT", "123456.7", nullptr}, {"AMT", "12x", nullptr},
      {"AMT", "", "        "},       {"QTY", "9999", "9999"},          {"QTY", "10000", nullptr},
      {"QTY", "2.5", "   2"}, {"DT", "2024-06-03", "20240603"}, {"DT", "20240229", "20240229"},
      {"DT", "2023-02-29", nullptr}, {"DT", "06/03/2024", nullptr},    {"DT", "", "        "},
      {"DT", "2024-06-31", nullptr}, {"DT", "2100-02-29", nullptr},    {"DT", "2000-02-29", "20000229"},
      {"OK", "T", "T"},              {"OK", "n", "F"},                 {"OK", "maybe", nullptr},
      {"NOTES", "text", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + "=" + c.input);
    int f = layout.FindField(c.field);
    rec.Clear();
    Status s = rec.SetFromString(f, c.input);
    if (c.stored == nullptr) {
      EXPECT_FALSE(s.ok());
      EXPECT_TRUE(rec.IsBlank(f));
      continue;
    }
    ASSERT_TRUE(s.ok()) << s.ToString();
    EXPECT_EQ(rec.Raw(f), c.stored);
  }
  // Logicals as FoxPro reads them: T t Y y true, F f N n false, a blank or anything else unknown.
  const int ok = layout.FindField("OK");
  const std::size_t at = static_cast<std::size_t>(rec.Raw(ok).data() - rec.bytes().data());
  for (const char* c : {"T1", "t1", "Y1", "y1", "F0", "f0", "N0", "n0", " -", "?-"}) {
    std::string bytes = rec.bytes();
    bytes[at] = c[0];
    rec.Assign(bytes);
    bool v = false;
    EXPECT_EQ(rec.Logical(ok, &v) ? (v ? '1' : '0') : '-', c[1]) << c[0];
  }
  const int amt = layout.FindField("AMT");
  double n = 1;  // a blank number is no number (unreadable text reads as 0, as in xBase)
  rec.Clear();
  EXPECT_FALSE(rec.Number(amt, &n));
  ASSERT_TRUE(rec.SetFromString(amt, "-12.5").ok());
  EXPECT_TRUE(rec.Number(amt, &n));
  EXPECT_EQ(n, -12.5);
  ASSERT_TRUE(rec.SetNumber(amt, -0.25).ok());
  EXPECT_EQ(rec.Raw(amt), "   -0.25");
}

TEST(CodePage, ConvertsBetweenTableBytesAndUtf8) {
  struct Case {
    std::uint8_t mark;
    std::string utf8, bytes;
  } cases[] = {
      {0x03, "Muñoz €", "Mu\xF1oz \x80"}, {0x00, "é", "\xE9"},  // no mark: Windows-1252
      {0x01, "Muñoz ░", "Mu\xA4oz \xB0"}, {0x02, "Ø", "\x9D"},
      {0xC9, "Жук", "\xC6\xF3\xEA"},      {0x65, "Жук", "\x86\xE3\xAA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.mark});
    const CodePage& cp = CodePage::ForMark(c.mark);
    EXPECT_EQ(cp.FromUtf8(c.utf8), c.bytes);
    EXPECT_EQ(cp.ToUtf8(c.bytes), c.utf8);
  }
  // Characters the page lacks, and broken UTF-8, become one "?" each.
  EXPECT_EQ(CodePage::ForMark(0x01).FromUtf8("€x\xC3"), "?x?");
  EXPECT_EQ(CodePage::ForMark(0x03).FromUtf8("\xE2\x82"), "??");
  EXPECT_EQ(CodePage::ForMark(0xEE).FromUtf8("é"), "?");  // unknown mark: ASCII only
  // Every byte of every known page reads back to itself.
  for (std::uint8_t mark : {0x01, 0x02, 0x03, 0x04, 0x64, 0x65, 0x66, 0x67, 0x6A, 0x6B, 0x96, 0x97,
                            0x98, 0xC8, 0xC9, 0xCA, 0xCB}) {
    const CodePage& cp = CodePage::ForMark(mark);
    for (int b = 0x20; b < 0x100; ++b) {
      std::string one(1, static_cast<char>(b));
      std::string utf8 = cp.ToUtf8(one);
      if (utf8 == "\xEF\xBF\xBD") continue;  // undefined in this page
      EXPECT_EQ(cp.FromUtf8(utf8), one) << "page " << cp.number() << " byte " << b;
    }
  }
}

TEST(DbfLayout, RejectsDamagedHeadersWithAPreciseMessage) {
  DbfLayout smallest;  // one field of one byte
  EXPECT_TRUE(DbfLayout::Decode(MakeDbf({{"N", 'C', 1, 0}}, 0x03), &smallest).ok());
  const std::string good = MakeDbf({{"NAME", 'C', 6, 0}, {"DT", 'D', 8, 0}}, 0x03);
  const std::tuple<const char*, std::size_t, std::string, const char*> cases[] = {
      {"visual foxpro", 0, "\x30", "not a FoxPro 2.x table"},
      {"not a dbf", 0, "\x47", "not a DBF"},
      {"short header length", 8, std::string("\x20\x00", 2), "too short"},
      {"header past the file", 8, std::string("\x00\x10", 2), "exceeds"},
      {"record length", 10, std::string("\x10\x00", 2), "add up to 15"},
      {"no terminator", 96, std::string("\x20"), "no 0x0D"},
      {"date field width", 32 + 32 + 16, std::string("\x07"), "has length 7"},
      {"bad name", 32, std::string("\x01"), "name contains"},
      {"bad month", 2, std::string("\x0D"), "not a date"},
  };
  for (const auto& [what, at, patch, message] : cases) {
    std::string bytes = good;
    bytes.replace(at, patch.size(), patch);
    DbfLayout layout;
    Status s = DbfLayout::Decode(bytes, &layout);
    EXPECT_NE(s.message().find(message), std::string::npos) << what << ": " << s.ToString();
  }
}

// Every truncation and every flipped byte of a fixture's header: opening and seeking fail with a
// clear error or read correctly, never crash, and never write a byte.
TEST(Table, DamagedHeadersFailCleanlyAndWriteNothing) {
  for (const char* name : {"INVOICE", "PROPERTY"}) {
    SCOPED_TRACE(name);
    const std::string dbf = Slurp(DataPath(std::string("foxpro/") + name + ".DBF"));
    const std::string cdx = Slurp(DataPath(std::string("foxpro/") + name + ".CDX"));
    const std::size_t header_length = DecodeFixed16LE(dbf.data() + 8);
    auto attempt = [&](const std::string& bytes) {
      MemEnv env;
      env.PutFile("/T.DBF", bytes);
      env.PutFile("/T.CDX", cdx);
      if (std::string(name) == "PROPERTY") env.PutFile("/T.FPT", std::string(512, '\0'));
      std::unique_ptr<Table> table;
      Status s = Table::Open(&env, "/T.DBF", TableOptions{}, &table);
      if (s.ok()) {
        std::uint32_t count = 0;
        if (table->RecordCount(&count).ok()) {
          Record rec = table->NewRecord();
          for (std::uint32_t r = 1; r <= std::min<std::uint32_t>(count, 50); ++r) {
            if (!table->Read(r, &rec).ok()) break;
            for (std::size_t f = 0; f < table->layout().fields().size(); ++f)
              rec.Text(static_cast<int>(f));
          }
        }
        bool found = false;
        std::uint32_t recno = 0;
        for (std::size_t t = 0; t < table->tags().size(); ++t) {
          table->Seek(static_cast<int>(t), "24-00105", &found, &recno).ok();
        }
      } else {
        EXPECT_FALSE(s.message().empty());
        EXPECT_TRUE(s.IsCorruption() || s.code() == Status::Code::kNotSupported) << s.ToString();
      }
      std::string after;
      ASSERT_TRUE(env.GetFile("/T.DBF", &after));
      EXPECT_EQ(after, bytes);
      ASSERT_TRUE(env.GetFile("/T.CDX", &after));
      EXPECT_EQ(after, cdx);
    };
    for (std::size_t n = 0; n < header_length + 2; ++n) attempt(dbf.substr(0, n));
    // The small table gets three kinds of flip per byte, the wide one (26 similar descriptors) one.
    for (std::size_t i = 0; i < header_length; ++i) {
      for (unsigned char mask : {0xFF, 0x01, 0x80}) {
        if (mask != 0xFF && header_length >= 400) continue;
        std::string bytes = dbf;
        bytes[i] = static_cast<char>(bytes[i] ^ mask);
        attempt(bytes);
      }
    }
  }
}

}  // namespace
}  // namespace xbase
