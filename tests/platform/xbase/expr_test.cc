// Key and FOR expressions evaluated into the bytes FoxPro stores.
#include "platform/xbase/expr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

const std::string kCity = std::string("D\xE9") + "catur ";  // "Décatur" in Windows-1252

// Keys are the bytes FoxPro stores; FOR clauses give "T" or "F"; what the engine cannot evaluate
// is refused with a message that starts as given.
TEST(ExprTest, KeysForClausesAndUnknownExpressions) {
  CommaLocale comma;
  DbfLayout layout;
  const std::string dbf = MakeDbf({{"NAME", 'C', 10, 0}, {"CITY", 'C', 8, 0}, {"AMT", 'N', 10, 2},
                                   {"DT", 'D', 8, 0}, {"OK_2", 'L', 1, 0}}, 0x03);
  ASSERT_TRUE(DbfLayout::Decode(dbf, &layout).ok());
  Record record(&layout, &CodePage::ForMark(0x03));
  record.Assign(std::string(" ") + "  Ann Lee " + kCity + "   1234.50" + "20240603" + "T");
  const auto key_of = [&](const std::string& text, int key_length) {
    std::unique_ptr<Expr> e;
    Status s = Expr::Compile(text, layout, &e);
    if (!s.ok()) return "error: " + s.ToString();
    if (e->width() >= 0 && e->width() != key_length) return "width " + std::to_string(e->width());
    std::string key;
    s = e->EvaluateKey(record, 7, key_length, &key);
    return s.ok() ? key : "error: " + s.ToString();
  };
  const struct Case {
    const char* expr;
    int key_length;
    std::string key;
  } cases[] = {
      {"NAME", 10, "  Ann Lee "},               {"upper(name)", 10, "  ANN LEE "},
      {"UPPE(NAME)", 10, "  ANN LEE "},         // four-letter abbreviation
      {"LOWER(CITY)", 8, "d" + kCity.substr(1)},  // ASCII letters only
      {"ALLTRIM(NAME)+CITY", 16, "Ann Lee" + kCity + " "},
      {"TRIM(NAME)", 10, "  Ann Lee "},         {"LTRIM(NAME)", 10, "Ann Lee   "},
      {"LEFT(NAME, 5)", 5, "  Ann"},            {"RIGHT(CITY,3)", 3, "ur "},
      {"SUBSTR(NAME,3,3)", 3, "Ann"},           {"SUBSTR(NAME,8)", 3, "ee "},
      {"STR(AMT,10,2)", 10, "   1234.50"},      {"STR(AMT)", 10, "      1235"},
      {"STR(AMT,3)", 3, "***"},                 {"STR(AMT,6,2)", 6, "1234.5"},
      {"STR(AMT + 1.5, 10, 2)", 10, "   1236.00"}, {"DTOS(DT)", 8, "20240603"},
      {"DTOS(DT)+UPPER(CITY)", 16, "20240603D\xE9" "CATUR "},
      {"test.NAME", 10, "  Ann Lee "},          {"TEST->CITY", 8, kCity},
      {"IIF(OK_2, 'Y', 'N')", 1, "Y"},          {"PADL(ALLTRIM(NAME), 9, '0')", 9, "00Ann Lee"},
      {"PADR(ALLT(NAME), 9, '*')", 9, "Ann Lee**"}, {"PADL(TRIM(NAME), 10)", 10, "   Ann Lee"},
      {"SUBS(NAME,3,3)", 3, "Ann"},             {"OK_2", 1, "T"},
      {"SUBSTR('', 1, 2) + NAME", 12, "width 10"},  // known widths add up, an empty one too
      {"NAME-CITY", 18, "  Ann Lee" + kCity + " "},  // a - b: a's trailing blanks go last
      {"AMT", 8, std::string("\xC0\x93\x4A\x00\x00\x00\x00\x00", 8)},
      {"DT", 8, std::string("\xC1\x42\xC5\x98\x80\x00\x00\x00", 8)},  // Julian day 2460465
      {"-AMT", 8, std::string("\x3F\x6C\xB5\xFF\xFF\xFF\xFF\xFF", 8)},
      {"RECNO()", 8, std::string("\xC0\x1C\x00\x00\x00\x00\x00\x00", 8)},
      {"!DELETED()", 1, "T"},                   {".NOT. DELETED()", 1, "T"},
      {"NOT DELETED()", 1, "T"},                {"DELETED()", 1, "F"},
      {"AMT > 1000 .AND. OK_2", 1, "T"},        {"CITY <> 'D'", 1, "F"},
      {"NAME # 'x'", 1, "T"},                   {"AMT < 1000 .OR. CITY = 'D'", 1, "T"},
      {"CITY == 'D'", 1, "F"},                  {"'Ann' $ NAME", 1, "T"},
      {"EMPTY(DT)", 1, "F"},                    {"DT + 1 > DT", 1, "T"},
      {"SOUNDEX(NAME)", 1, "error: Not supported: expression \"SOUNDEX(NAME)\": function SOUNDEX()"},
      {"NOFIELD", 1, "error: Not supported: expression \"NOFIELD\": no field NOFIELD"},
      {"NAME +", 1, "error: Not supported: expression \"NAME +\": ends too soon"},
      {"NAME + AMT", 1, "error: Not supported"},
      {"UPPER(AMT)", 1, "error: Not supported"}, {"LEFT(NAME", 1, "error: Not supported"},
      {"(NAME", 1, "error: Not supported: expression \"(NAME\": missing \")\""},
      {"UPP(NAME)", 1, "error: Not supported"},  // abbreviations have four letters at least
      {"'open", 1, "error: Not supported"},
  };
  for (const Case& c : cases) {
    const std::string got = key_of(c.expr, c.key_length);
    EXPECT_EQ(c.key.rfind("error: ", 0) == 0 ? got.substr(0, c.key.size()) : got, c.key) << c.expr;
  }
}

// Byte order of numeric keys is number order, for negative, zero, fractional and huge values.
TEST(NumberKey, ByteOrderIsNumberOrder) {
  std::vector<double> values = {-1e300, -12345.678, -1, -0.5, -1e-300,   0,
                                1e-300, 0.5,        1,  2,    12345.678, 1e300};
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  for (int i = 0; i < 200; ++i) values.push_back(dist(rng));
  std::sort(values.begin(), values.end());
  for (std::size_t i = 1; i < values.size(); ++i) {
    std::string a = EncodeNumberKey(values[i - 1]), b = EncodeNumberKey(values[i]);
    EXPECT_LE(a, b) << values[i - 1] << " " << values[i];
    EXPECT_EQ(DecodeNumberKey(b), values[i]);
  }
  EXPECT_EQ(EncodeNumberKey(-0.0), EncodeNumberKey(0.0));
}

}  // namespace
}  // namespace xbase::table_testing
