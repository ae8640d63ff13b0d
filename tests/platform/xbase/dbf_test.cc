// The DBF codec: FoxPro's formatting of written values, code pages, and damaged headers (any
// bytes at all: dbf_fuzz; a damaged table met by the program: tests/campaign).
#include "platform/xbase/dbf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <tuple>

#include "platform/xbase/codepage.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

// Values written in FoxPro's formatting; which setter each field type takes (y: written, n:
// refused as the wrong value, x: not written at all); logicals, numbers and calendar dates read
// as FoxPro reads them.
TEST(Record, WritesAndReadsEachFieldTypeAsFoxProDoes) {
  CommaLocale comma;
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"NAME", 'C', 6, 0}, {"AMT", 'N', 8, 2}, {"F", 'F', 6, 2},
                                         {"DT", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NOTES", 'M', 10, 0},
                                         {"G", 'G', 10, 0}, {"QTY", 'N', 4, 0}}, 0x03), &layout).ok());
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
      {"DT", "06/03/2024", nullptr}, {"DT", "", "        "},          {"DT", "2024-05-32", nullptr},
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
  const std::function<Status(int)> setters[] = {
      [&](int f) { return rec.SetText(f, "ab"); },  [&](int f) { return rec.SetNumber(f, 1.5); },
      [&](int f) { return rec.SetDate(f, {2024, 6, 3}); },
      [&](int f) { return rec.SetLogical(f, true); }, [&](int f) { return rec.SetBlank(f); },
      [&](int f) { return rec.SetFromString(f, "1"); }};
  std::string got;
  for (int f = 0; f < 7; ++f) {
    for (const auto& set : setters) {
      rec.Clear();
      const Status s = set(f);
      got += s.ok() ? 'y' : s.code() == Status::Code::kInvalidArgument ? 'n' : 'x';
      EXPECT_EQ(rec.changed(f), s.ok());
    }
    got += ' ';
  }
  EXPECT_EQ(got, "ynnnyy nynnyy nynnyy nnynyn nnnyyn xxxxxx nnnnyx ");
  std::string target = "unchanged";
  rec.ClearChanged();  // what was set before is not carried over to the record on disk
  rec.ApplyChangesTo(&target);
  EXPECT_EQ(target.substr(0, 9) + std::to_string(rec.any_changed()), "unchanged0");
  rec.Assign(std::string(" ab\0   ", 7) + "    1.50" + " -2.5x" + "20240603" + "T");
  EXPECT_EQ(std::vector<std::string>({rec.Text(0), rec.Text(1), rec.Text(2), rec.Text(3)}),
            std::vector<std::string>({"ab", "1.50", "-2.5x", "20240603"}));
  // Logicals: T t Y y true, F f N n false, a blank or anything else unknown.
  for (const char* c : {"T1", "t1", "Y1", "y1", "F0", "f0", "N0", "n0", " -", "?-"}) {
    std::string bytes = rec.bytes();
    bytes[1 + 6 + 8 + 6 + 8] = c[0];
    rec.Assign(bytes);
    bool v = false;
    EXPECT_EQ(rec.Logical(4, &v) ? (v ? '1' : '0') : '-', c[1]) << c[0];
  }
  for (int y : {0, 1, 4, 100, 400, 1600, 1900, 2000, 2023, 2024, 9999, 10000}) {
    for (int m = 0; m <= 13; ++m) {
      for (int d = 0; d <= 32; ++d) {
        const bool valid = y >= 1 && y <= 9999 &&
                           std::chrono::year_month_day(std::chrono::year(y), std::chrono::month(m),
                                                       std::chrono::day(d)).ok();
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
        DbfDate parsed;
        ASSERT_EQ(ValidDate({y, m, d}), valid) << text;
        ASSERT_EQ(ParseDate(text, &parsed), valid) << text;
        ASSERT_EQ(rec.SetDate(3, {y, m, d}).ok(), valid) << text;
        if (valid) EXPECT_EQ(rec.Raw(3), text);
      }
    }
  }
  DbfDate d;
  for (const char* bad : {"2024-6-3", "2024060 ", "202406031", " 20240603", "2024O603"})
    EXPECT_FALSE(ParseDate(bad, &d)) << bad;
  const std::pair<std::string, const char*> numbers[] = {
      {"", "-"},       {"   ", "-"},      {std::string("\0 \0", 3), "-"}, {"  12.5", "12.5"},
      {"-3", "-3"},    {"+4", "4"},       {"1.2.3", "1.2"},   {"abc", "0"},   {std::string("\0 5", 3), "5"},
      {".5", "0.5"},   {"-", "0"},        {"- 5", "0"},       {"5-", "5"},    {"  -0.25  ", "-0.25"}};
  for (const auto& [text, want] : numbers) {
    double v = 7;
    std::ostringstream out;
    if (ParseNumber(text, &v)) out << v;
    EXPECT_EQ(out.str(), std::string(want) == "-" ? "" : want) << text;
  }
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
  // The least and the greatest code point of each sequence length are one character each.
  EXPECT_EQ(CodePage::ForMark(0x03).FromUtf8("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"),
            "????");
  EXPECT_EQ(CodePage::ForMark(0xEE).FromUtf8("é"), "?");  // unknown mark: ASCII only
  EXPECT_EQ(CodePage::ForMark(0xEE).number(), 0);
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

// The header and field rules, each row a table of the given fields changed at one offset: what
// decoding it says ("" when it decodes). Any bytes at all: dbf_fuzz.
TEST(DbfLayout, HeaderAndFieldRules) {
  using Fields = std::vector<std::tuple<const char*, char, int, int>>;
  const Fields two = {{"NAME", 'C', 6, 0}, {"DT", 'D', 8, 0}};
  const struct Case {
    Fields fields;
    std::size_t at;
    std::string patch;
    const char* message;
  } cases[] = {
      {{{"N", 'C', 1, 0}}, 0, "", ""},  // the smallest: one field of one byte
      {two, 0, "\xF5", ""},             {two, 0, "\x30", "0x30 is not a FoxPro 2.x table"},
      {two, 0, "\x31", "2.x"},           {two, 0, "\x32", "2.x"},  {two, 0, "\x43", "2.x"},
      {two, 0, "\x63", "2.x"},           {two, 0, "\x83", "2.x"},  {two, 0, "\x8B", "2.x"},
      {two, 0, "\xFB", "2.x"},           {two, 0, "\x04", "byte 0x04 is not a DBF table"},
      {two, 0, "\xF4", "not a DBF"},     {two, 0, "\x02", "not a DBF"},
      {two, 2, "\x0C\x1F", ""},          {two, 2, "\x0D", "last-update date 13/3 is not a date"},
      {two, 3, "\x20", "6/32 is not"},   {two, 2, std::string(2, '\0'), ""},
      {{{"N", 'C', 1, 0}}, 8, std::string("\x40\x00", 2), "header length 64 is too short"},
      {two, 8, std::string("\x62\x00", 2), "header length 98 exceeds the file's 97 bytes"},
      {two, 8, std::string("\x51\x00", 2), "within the header length 81"},  // a descriptor cut
      {two, 96, " ", "no 0x0D after the field descriptors"},          {{{"N", 'C', 1, 0}}, 32, "\x0D", "has no fields"},
      {two, 10, std::string("\x10\x00", 2), "record length 16 in the header, the fields add up to 15"},
      {two, 10, std::string("\x01\x00", 2), "DBF record length 1"},
      {{{"N", 'C', 1, 0}}, 10, std::string("\x02\x00", 2), ""},
      {{{"A_1", 'C', 1, 0}, {"z9", 'c', 2, 0}}, 0, "", ""},
      {two, 32, std::string(1, '\0'), "DBF field 1 has no name"},
      {two, 64, "\x01", "field 2 name contains byte 0x01"},  {two, 33, "-", "contains byte 0x2D"},
      {{{"X", '@', 1, 0}}, 0, "", "field 1 (X) type byte 0x40"},
      {{{"X", '[', 1, 0}}, 0, "", "type byte 0x5B"},  {{{"X", 'A', 1, 0}, {"Y", 'Z', 1, 0}}, 0, "", ""},
      {{{"X", 'C', 0, 0}, {"Y", 'C', 1, 0}}, 0, "", "field 1 (X) has length 0"},
      {{{"DT", 'D', 9, 0}}, 0, "", "(DT) of type D has length 9"},
      {{{"DT", 'D', 7, 0}}, 0, "", "has length 7"},  {{{"OK", 'L', 2, 0}}, 0, "", "L has length 2"},
      {{{"OK", 'L', 1, 0}, {"DT", 'D', 8, 0}}, 0, "", ""},
      {{{"A", 'N', 5, 4}, {"B", 'F', 1, 0}, {"C", 'C', 5, 5}, {"M", 'M', 10, 0}}, 0, "", ""},
      {{{"AMT", 'N', 5, 5}}, 0, "", "(AMT) has 5 decimals in width 5"},
      {{{"AMT", 'F', 4, 6}}, 0, "", "has 6 decimals in width 4"},
  };
  for (const Case& c : cases) {
    std::string bytes = MakeDbf(c.fields, 0x03);
    bytes.replace(c.at, c.patch.size(), c.patch);
    DbfLayout layout;
    Status s = DbfLayout::Decode(bytes.substr(0, bytes.size() - 1), &layout);
    SCOPED_TRACE(std::get<0>(c.fields[0]) + std::string(" at ") + std::to_string(c.at));
    if (*c.message == '\0') {
      EXPECT_TRUE(s.ok()) << s.ToString();
    } else {
      EXPECT_NE(s.message().find(c.message), std::string::npos) << s.ToString();
      EXPECT_EQ(s.code(), std::string(c.message).find("2.x") != std::string::npos
                              ? Status::Code::kNotSupported : Status::Code::kCorruption);
    }
  }
  // Where the fields lie in the record, and their names and decimals as the engine keeps them.
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"name", 'c', 6, 2}, {"AMT", 'N', 9, 2}, {"DT", 'D', 8, 0},
                                         {"OK", 'l', 1, 0}}, 0x03), &layout).ok());
  std::string got;
  for (const DbfField& f : layout.fields())
    got += f.name + f.type + std::to_string(f.offset) + "," + std::to_string(f.length) + "," +
           std::to_string(f.decimals) + " ";
  EXPECT_EQ(got, "NAMEC1,6,0 AMTN7,9,2 DTD16,8,0 OKL24,1,0 ");
  EXPECT_EQ(layout.FindField("amt"), 1);
  EXPECT_EQ(layout.FindField("AM"), -1);
  EXPECT_EQ(layout.RecordOffset(3), 32 + 4 * 32 + 1 + 2 * 25);
  EXPECT_EQ(layout.FileLength(3), 32 + 4 * 32 + 1 + 3 * 25 + 1);
  EXPECT_FALSE(layout.has_memo());
}

// The header and a field descriptor at the offsets FoxPro reads them from.
TEST(DbfLayout, HeaderAndDescriptorBytes) {
  DbfHeader h;
  h.version = 0xF5, h.year = 2024, h.month = 6, h.day = 3, h.record_count = 0x01020304;
  h.header_length = 0x0561, h.record_length = 0x0708, h.flags = 0x01, h.code_page = 0xC9;
  std::string bytes(32, '\x55');
  h.EncodeTo(bytes.data());
  EXPECT_EQ(bytes, std::string("\xF5\x7C\x06\x03\x04\x03\x02\x01\x61\x05\x08\x07", 12) +
                       std::string(16, '\0') + "\x01\xC9" + std::string(2, '\0'));
  DbfHeader back;  // read back from there, it encodes to the same bytes
  std::string again(32, '\0');
  ASSERT_TRUE(back.DecodeFrom(bytes).ok());
  back.EncodeTo(again.data());
  EXPECT_EQ(again, bytes);
  EXPECT_EQ(back.DecodeFrom(bytes.substr(0, 31)).message(), "DBF header: 31 bytes, a header needs 32");
  FieldDescriptor d{"AMOUNT_ALL", 'N', 0x0A0B0C0D, 12, 3, 0x04};
  d.EncodeTo(bytes.data());
  EXPECT_EQ(bytes, std::string("AMOUNT_ALL\0N\x0D\x0C\x0B\x0A\x0C\x03\x04", 19) +
                       std::string(13, '\0'));
  FieldDescriptor e;
  ASSERT_TRUE(e.DecodeFrom(bytes).ok());
  e.EncodeTo(again.data());
  EXPECT_EQ(again, bytes);
  EXPECT_FALSE(e.DecodeFrom(bytes.substr(0, 31)).ok());
  FieldDescriptor{"ELEVENCHARS", 'C', 1, 1, 0, 0}.EncodeTo(bytes.data());
  EXPECT_EQ(bytes.substr(0, 12), std::string("ELEVENCHAR\0C", 12));
  bytes[10] = 'S';  // a name filling all eleven bytes ends at the type byte
  ASSERT_TRUE(e.DecodeFrom(bytes).ok());
  EXPECT_EQ(e.name + e.type, "ELEVENCHARSC");
}

}  // namespace
}  // namespace xbase::table_testing
