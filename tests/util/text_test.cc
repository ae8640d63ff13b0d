#include "base/text.h"

#include <gtest/gtest.h>

namespace xfr {
namespace {

TEST(TextRoutines, PadLeftNumTextAndTextBeforeComma) {
  struct Case {
    std::string text;
    int width;
    std::string want;
  } pads[] = {{"7", 2, "07"}, {"2001", 2, "01"}, {" 12 ", 4, "0012"}, {"", 2, "00"}, {"5", 0, ""}};
  for (const auto& c : pads) EXPECT_EQ(PadLeft(c.text, c.width, '0'), c.want) << c.text;

  EXPECT_EQ(NumText(2001), "2001");
  EXPECT_EQ(NumText(-5), "-5");
  EXPECT_EQ(StrNumber(3021), " 3021");
  EXPECT_EQ(StrNumber(0), " 0");

  struct Comma {
    std::string in, want;
  } commas[] = {{"RPT1,RPT2,", "RPT1"}, {",RPT1", ""}, {"RPT1", ""}, {"", ""}, {"A,", "A"}};
  for (const auto& c : commas) EXPECT_EQ(TextBeforeComma(c.in), c.want) << c.in;
}

TEST(TextRoutines, CharacterCountsAreNotByteCounts) {
  std::string street = "Peña Blvd";  // ñ is two bytes in UTF-8, one in the table
  EXPECT_EQ(Utf8Length(street), 9u);
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
               // no lead byte past F4, no overlong form, surrogate or code point past U+10FFFF
               {"\xF8\x80\x80", bad + bad + bad},
               {"\xE0\x80\x80\xED\xA0\x80", bad + bad + bad + bad + bad + bad},
               {"\xF0\x80\x80\x80\xF4\x90\x80\x80", bad + bad + bad + bad + bad + bad + bad + bad}};
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), "\"" + c.want + "\"") << c.want;
}

}  // namespace
}  // namespace xfr
