#include "base/text.h"

#include <gtest/gtest.h>

#include "base/journal.h"
#include "base/json_string.h"

namespace xfr {
namespace {

// The text before the first comma is the transfer tests' (every form of a report list).
TEST(TextRoutines, PadLeftAndNumbersAsBasicPrintsThem) {
  struct Case {
    std::string text;
    int width;
    std::string want;
  } pads[] = {{"7", 2, "07"}, {"2001", 2, "01"}, {" 12 ", 4, "0012"}, {"", 2, "00"}, {"5", 0, ""}};
  for (const auto& c : pads) EXPECT_EQ(PadLeft(c.text, c.width, '0'), c.want) << c.text;
  EXPECT_EQ(NumText(-5) + "|" + StrNumber(3021) + "|" + StrNumber(0), "-5| 3021| 0");
}

TEST(TextRoutines, CharacterCountsAreNotByteCounts) {
  std::string street = "Peña Blvd";  // ñ is two bytes in UTF-8, one in the table
  EXPECT_EQ(Utf8Length(street), 9u);
  EXPECT_EQ(Utf8Length("\xF0\x9F\x8F\xA0 St"), 4u);  // a four-byte character, past U+FFFF
  EXPECT_EQ(Utf8Left(street, 4), "Peña");
  EXPECT_EQ(Utf8Right(street, 6), "a Blvd");
  // A broken sequence at the end is counted and cut without reading past the text.
  std::string broken = "ab\xC3";
  EXPECT_EQ(Utf8Length(broken), 3u);
  EXPECT_EQ(Utf8Left(broken, 5), broken);
}

TEST(TextRoutines, LeadingNumberReadsLikeVal) {
  struct Case {
    std::string in;
    double want;
  } cases[] = {{" 2", 2}, {"-1", -1}, {"1.5x", 1.5}, {"abc", 0}, {"", 0}, {"  -2.5", -2.5}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(LeadingNumber(c.in), c.want) << c.in;
  double v = 0;
  for (const char* bad : {"+-5", "5x", "", "+", "1e"}) EXPECT_FALSE(ParseDecimal(bad, &v)) << bad;
  EXPECT_TRUE(ParseDecimal("+5.25", &v) && v == 5.25);
}

TEST(TextRoutines, JsonQuoteReplacesBrokenSequences) {
  const std::string bad = "\xEF\xBF\xBD";
  struct Case {
    std::string_view in;
    std::string want;
  } cases[] = {{"Pe\xC3\xB1o", "Pe\xC3\xB1o"},
               {"\xC3o", bad + "o"},
               {std::string_view("\xC3\xB1", 1), bad},  // cut inside the sequence
               {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
               {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"},
               // no lead byte past F4, no overlong form, surrogate or code point past U+10FFFF
               {"\xF8\x80\x80", bad + bad + bad},
               {"\xE0\x80\x80\xED\xA0\x80", bad + bad + bad + bad + bad + bad},
               {"\xF0\x80\x80\x80\xF4\x90\x80\x80", bad + bad + bad + bad + bad + bad + bad + bad}};
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), "\"" + c.want + "\"") << c.want;
}

// Every escape of a JSON string and every malformed form (the journal reads its lines with it):
// what it gives, or its complaint, and where it stops.
TEST(ReadJsonString, EscapesAndMalformedStrings) {
  const struct Case {
    std::string json, text;  // text: the string read, or the complaint
    std::size_t end;
  } cases[] = {
      {R"("")", "", 2},  {R"("abc"x)", "abc", 5},  {R"("\"\\\/")", "\"\\/", 8},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t", 12},  {"\"\x7F \xC3\xA9\"", "\x7F \xC3\xA9", 6},
      {R"("\u0041\u007f\u0080")", "A\x7F\xC2\x80", 20},  {R"("\u07FF\u0800")", "\xDF\xBF\xE0\xA0\x80", 14},
      {R"("\u0000")", std::string(1, '\0'), 8},  {R"("\uffff\uD7FF\uE000")", "\xEF\xBF\xBF\xED\x9F\xBF\xEE\x80\x80", 20},
      {R"("\u0123\u4567\u89ab\ucdef\uABCD\uEF09")", "\xC4\xA3\xE4\x95\xA7\xE8\xA6\xAB\xEC\xB7\xAF\xEA\xAF\x8D\xEE\xBC\x89", 38},
      {R"("\uD800\uDC00\udbff\udfff")", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 26},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80", 14},
      {"x\"\"", "'\"' expected", 0},  {"", "'\"' expected", 0},  {R"("abc)", "unterminated string", 4},
      {R"("a\)", "unterminated string", 3},  {"\"a\x1F\"", "control character in a string", 3},
      {"\"\x01\"", "control character in a string", 2},  {R"("\x")", "bad escape", 3},
      {R"("\u12")", "bad \\u escape", 3},  {R"("\u0041)", "unterminated string", 7},
      {R"("\u00/0")", "bad \\u escape", 6},  {R"("\u00:0")", "bad \\u escape", 6},
      {R"("\u00@0")", "bad \\u escape", 6},  {R"("\u00G0")", "bad \\u escape", 6},
      {R"("\u00`0")", "bad \\u escape", 6},  {R"("\u00g0")", "bad \\u escape", 6},
      {R"("\uD800")", "lone surrogate", 7},  {R"("\uD800\n")", "lone surrogate", 7},
      {R"("\uDC00")", "lone surrogate", 7},  {R"("\uDC00\uDC00")", "lone surrogate", 7},  {R"("\uDFFF")", "lone surrogate", 7},
      {R"("\uD800\u0041")", "bad surrogate pair", 13},  {R"("\uDBFF\uE000")", "bad surrogate pair", 13},
      {R"("\uD800\uDBFF")", "bad surrogate pair", 13},  {R"("\uD800\u12")", "bad \\u escape", 9},
  };
  for (const Case& c : cases) {
    std::size_t pos = 0;
    std::string out = "=";
    const char* fault = ReadJsonString(c.json, &pos, &out);
    EXPECT_EQ(fault ? fault : out.substr(1), c.text) << c.json;
    EXPECT_EQ(pos, c.end) << c.json;
  }
}

// A journal line is read whole: nothing may follow its closing brace (the complaint says where),
// it names all its parts, and every record number a table can hold is one, 0 and those past 32
// bits none. Lines that end in CR LF (a journal copied through a Windows tool) read as the others.
TEST(ReadJsonString, JournalLinesAreWholeAndTakeEveryRecordNumber) {
  JournalLine line;
  line.table = "PROPERTY.DBF", line.record = 0xFFFFFFFF;
  JournalLine back;
  std::string why;
  const std::string text = EncodeJournalLine(line);
  EXPECT_TRUE(DecodeJournalLine(text, &back, &why)) << why;
  EXPECT_EQ(back.record, 0xFFFFFFFFu);
  EXPECT_FALSE(DecodeJournalLine(text + "}", &back, &why));
  EXPECT_EQ(why, "text after the end at character " + std::to_string(text.size() + 1));
  for (const char* key : {"\"record\"", "\"stage\"", "\"deleted\"", "\"after\""}) {
    std::string other = text;
    EXPECT_FALSE(DecodeJournalLine(other.insert(other.find(key) + 1, "x"), &back, &why)) << key;
  }
  for (const char* record : {"0", "4294967296"}) {
    std::string other = text;
    EXPECT_FALSE(DecodeJournalLine(other.replace(other.find("4294967295"), 10, record), &back,
                                   &why)) << record;
  }
  struct OneFile : JournalFiles {
    std::string text;
    bool Size(int k, std::uint64_t* size) override { return *size = text.size(), k == 0; }
    std::string Read(int, std::uint64_t at, std::size_t n) override { return text.substr(at, n); }
  } journal;
  // Blank lines between make the first line start one byte before the last 64 KiB read.
  journal.text = text + "\r\n" + std::string(65537 - 2 * (text.size() + 2), '\n') + text + "\r\n";
  const JournalTail tail = ReadLastTransfers(journal, 1, [](const JournalLine&) { return true; });
  EXPECT_EQ(tail.error + tail.note, "");
  ASSERT_EQ(tail.transfers.size(), 1u);
  EXPECT_EQ(tail.transfers[0].lines.size(), 2u);
}

}  // namespace
}  // namespace xfr
