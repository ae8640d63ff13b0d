// The DBF codec: FoxPro's formatting of written values, code pages, and damaged headers (any
// bytes at all: dbf_fuzz; a damaged table met by the program: tests/campaign).
#include "platform/xbase/dbf.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/xbase/codepage.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

TEST(Record, WritesValuesInFoxProFormat) {
  CommaLocale comma;
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
      {"DT", "2024-05-32", nullptr},
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

}  // namespace
}  // namespace xbase::table_testing
