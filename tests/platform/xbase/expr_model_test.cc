// Index expressions against a model: random expressions over every operator, function and type
// a FoxPro 2.6 key or FOR clause uses, each drawn with the value, type and width it must give,
// on records of edge values (blank, blank-padded, negative, fractional, the calendar's ends);
// dates against the C++ calendar; what cannot be compiled is refused naming why.
#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <iomanip>
#include <random>
#include <sstream>

#include "platform/xbase/expr.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

using T = ExprType;
using Days = std::chrono::sys_days;

std::int64_t JulianOf(int y, int m, int d) {  // 2440588: the Julian day of 1970-01-01
  const std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(m),
                                        std::chrono::day(d)};
  return ymd.ok() && y > 0 ? Days(ymd).time_since_epoch().count() + 2440588 : 0;
}

std::string DtosOf(std::int64_t julian) {
  const std::chrono::year_month_day ymd{Days(std::chrono::days(julian - 2440588))};
  const int y = static_cast<int>(ymd.year());
  if (julian == 0 || y < 0 || y > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02u%02u", y, unsigned(ymd.month()), unsigned(ymd.day()));
  return buf;
}

// STR(): halves away from zero, decimals given up before the number is cut, then stars.
std::string StrOf(double v, int len, int dec) {
  len = std::clamp(len, 1, 255);
  for (int d = dec; d >= 0; --d) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(d) << std::round(v * std::pow(10, d)) / std::pow(10, d);
    if ((d == 0 || d + 2 <= len) && out.str().size() <= std::size_t(len))
      return std::string(len - out.str().size(), ' ') + out.str();
  }
  return std::string(len, '*');
}

// VAL(): blanks, a sign, digits with one point; the rest is ignored.
double ValOf(const std::string& t) {
  std::size_t i = t.find_first_not_of(' '), point = 0;
  if (i == std::string::npos) return 0;
  std::string num = t[i] == '-' || t[i] == '+' ? t.substr(i++, 1) : "";
  for (; i < t.size() && (std::isdigit(t[i] & 0xff) || (t[i] == '.' && point++ == 0)); ++i) num += t[i];
  double v = 0;
  if (num[0] == '+') num.erase(0, 1);
  const bool digits = num.find_first_of("0123456789") != std::string::npos;
  return digits && std::from_chars(num.data(), num.data() + num.size(), v).ec == std::errc() ? v : 0;
}

std::string Trim(const std::string& s, bool left, bool right) {
  const std::size_t b = left ? s.find_first_not_of(' ') : 0;
  const std::size_t e = right ? s.find_last_not_of(' ') + 1 : s.size();
  return b == std::string::npos || e == 0 ? "" : s.substr(b, e - b);
}

std::size_t Count(double d) { return d < 0 ? 0 : d > 65535 ? 65535 : std::size_t(d); }

struct Gen {
  std::string text;
  T type = T::kChar;
  std::string s;
  double n = 0;
  std::int64_t j = 0;  // a date's Julian day, 0 when blank
  bool b = false;
  int width = -1;  // a character result's width when it does not depend on the record
  int level = 7;   // binds as: 0 OR, 1 AND, 2 NOT, 3 comparison, 4 + -, 5 * /, 6 sign, 7 atom
  bool literal = false, fails = false;  // fails: a division by zero on the way
  int Lit() const { return literal ? static_cast<int>(Count(n)) : -1; }
};
using Args = std::vector<Gen>;

// An operator (a prefix when it has one operand) or a function. Operand kinds: C N D L, S a
// small count, * any type, X the type of the other X, @ the result type; lower case: optional.
struct Production {
  std::vector<const char*> texts;
  int level;
  const char* kinds;
  T type;
  std::function<void(const Args&, const std::string&, Gen&)> eval;
};

int Compare(const Gen& a, const Gen& b, bool exact) {
  if (a.type == T::kChar && exact) return Trim(a.s, false, true).compare(Trim(b.s, false, true));
  std::string l = a.s;
  l.resize(b.s.size(), ' ');  // compared over the right side's length
  const double x = a.type == T::kNumber ? a.n : a.type == T::kDate ? a.j : a.b;
  const double y = b.type == T::kNumber ? b.n : b.type == T::kDate ? b.j : b.b;
  return a.type == T::kChar ? l.compare(b.s) : x < y ? -1 : x > y;
}

class Model {
 public:
  explicit Model(std::uint32_t seed) : rng_(seed) {}
  int Rand(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  const std::vector<Production>& productions() const { return productions_; }
  std::uint32_t recno() const { return recno_; }

  // A record of NAME C(8), CODE C(3), AMT N(9,2), QTY N(3,0), DT D, DU D, OK L.
  std::string NewRecord() {
    static const std::vector<const char*> kValues[] = {
        {"        ", "Ann Lee ", "  Ann   ", "ab$cd   ", "ZZZZZZZZ", "\xE9t\xE9     ", "a       "},
        {"   ", "ab ", "A$ ", "zz9", "\xE9  "},
        {"         ", "  1234.50", "   -12.25", "     0.00", "999999.99", "    -0.01", "   1x    "},
        {"   ", "  7", " -3", "  0", " 12", "  2"},
        {"        ", "00010101", "17520914", "19000228", "20000229", "20240603", "99991231",
         "20241301"}, {}, {"T", "t", "Y", "y", "F", "f", "N", "n", " ", "?"}};
    static const char* kNames[] = {"NAME", "CODE", "AMT", "QTY", "DT", "DU", "OK"};
    std::string bytes = Rand(2) ? " " : "*";
    deleted_ = bytes == "*", recno_ = 1 + Rand(12);
    for (int f = 0; f < 7; ++f) {
      const std::string v = Pick(kValues[f == 5 ? 4 : f]);
      Gen& g = fields_[f];
      g = Gen{kNames[f], f < 2 ? T::kChar : f < 4 ? T::kNumber : f < 6 ? T::kDate : T::kLogical, v};
      g.n = g.type == T::kNumber ? ValOf(v) : 0;
      g.b = g.type == T::kLogical && std::strchr("TtYy", v[0]);
      g.width = g.type == T::kChar ? static_cast<int>(v.size()) : -1;
      if (g.type == T::kDate)
        g.j = JulianOf(std::stoi("0" + v.substr(0, 4)), std::stoi("0" + v.substr(4, 2)),
                       std::stoi("0" + v.substr(6)));
      bytes += v;
    }
    return bytes;
  }

  Gen Of(T type, int depth) {
    const int way = depth <= 0 ? 0 : Rand(4);
    std::vector<const Production*> fit;
    for (const Production& p : productions_) {  // way 1: an operator, 2 and 3: a function
      if (way && (way == 1) == (p.level < 7) && (p.type == type || std::strchr(p.kinds, '@')))
        fit.push_back(&p);
    }
    if (fit.empty()) return Atom(type);
    const Production& p = *fit[Rand(static_cast<int>(fit.size()))];
    return Build(p, Pick(p.texts), type, static_cast<T>(Rand(4)), depth);
  }
  // Production p written as op, giving `type` (for IIF) over operands X of type `same`.
  Gen Build(const Production& p, std::string op, T type, T same, int depth) {
    Args a;
    for (const char* k = p.kinds; *k && !(std::islower(*k) && Rand(2)); ++k) {
      const char kind = static_cast<char>(std::toupper(*k));
      const T t = kind == 'X' ? same : kind == '@' ? type : kind == '*' ? static_cast<T>(Rand(4))
                : static_cast<T>(std::strchr("CNDL", kind) - "CNDL");
      a.push_back(kind == 'S' ? Size() : *k == 'c' ? Literal("'0'|'*'|''|'xy'", T::kChar)
                  : Of(t, p.type == T::kDate && t == T::kNumber ? 0 : depth - 1));
    }
    Gen g{"", p.type};
    g.level = p.level;
    for (const Gen& x : a) g.fails |= x.fails;
    if (p.level == 7) {  // a function
      std::string name = op.substr(0, op.size() > 4 ? 4 + Rand(int(op.size()) - 3) : 9);
      if (Rand(3) == 0) std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      g.text = name + "(";
      for (std::size_t i = 0; i < a.size(); ++i) g.text += (i ? ", " : "") + a[i].text;
      g.text += ")";
    } else if (a.size() == 1) {
      g.text = op + Operand(a[0], p.level);
    } else {
      if (std::isdigit(a[0].text.back() & 0xff) && op[0] == '.') op = " " + op;  // not "2..AND."
      g.text = Operand(a[0], p.level == 3 ? 4 : p.level) + op + Operand(a[1], p.level + 1);
    }
    const std::size_t gap = g.text.find(op) + op.size() - 1;  // "NOT.T.", "OK AND(OK)"
    if (std::isalpha(op[op.size() - 2] & 0xff) && op.back() == ' ' &&
        (g.text[gap + 1] == '(' || (g.text[gap + 1] == '.' && g.text[gap + 3] == '.')))
      g.text.erase(gap, Rand(2));
    p.eval(a, op, g);
    if (g.type == T::kChar && g.width >= 0) g.s.resize(static_cast<std::size_t>(g.width), ' ');
    return g;
  }

 private:
  template <typename A>
  const A& Pick(const std::vector<A>& a) { return a[Rand(static_cast<int>(a.size()))]; }
  // Operand text, in parentheses when it binds looser than `level` (or at random).
  std::string Operand(const Gen& g, int level) {
    return g.level < level || Rand(8) == 0 ? "(" + g.text + ")" : g.text;
  }
  Gen Field(int f) {
    static const std::vector<const char*> kForms = {"%s", "t.%s", "T->%s", "x->%s", "%s"};
    Gen g = fields_[f];
    char buf[32];
    std::snprintf(buf, sizeof buf, Pick(kForms), g.text.c_str());
    g.text = buf;
    if (Rand(3) == 0) std::transform(g.text.begin(), g.text.end(), g.text.begin(), ::tolower);
    return g;
  }
  // One of the literals in `choices` ("a|b|c"), with its value.
  Gen Literal(const std::string& choices, T type) {
    std::vector<std::string> all;
    for (std::size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 1)
      all.push_back(choices.substr(at, (bar = choices.find('|', at)) - at));
    Gen g{Pick(all), type};
    g.s = type == T::kChar ? g.text.substr(1, g.text.size() - 2) : "";
    g.width = type == T::kChar ? static_cast<int>(g.s.size()) : -1;
    g.n = type == T::kNumber ? ValOf(g.text) : 0;
    g.b = type == T::kLogical && std::strchr("TtY", g.text[1]);
    g.literal = type == T::kNumber;
    return g;
  }
  Gen Atom(T type) {
    if (Rand(2) || type == T::kDate) return Field(2 * int(type) + (type == T::kLogical ? 0 : Rand(2)));
    return type == T::kChar
               ? Literal("''|'a'|\"Ann\"|[ab]|' x '|'$'|[zz9]|\"\xE9\"|'A$'", T::kChar)
           : type == T::kNumber ? Literal("0|1|7|0.5|.25|2.|1234.5678|65536|100", T::kNumber)
                                : Literal(".T.|.t.|.Y.|.F.|.f.|.N.|.n.", T::kLogical);
  }
  // A small count (a width, a position): a literal, QTY, RECNO() or a sum.
  Gen Size() {
    const int k = Rand(5), base = std::vector{1, 1, 251, 65533}[Rand(4)];  // sums pass 255, 65535
    Gen g{std::to_string(base) + " + " + std::to_string(k), T::kNumber, "", double(base + k)};
    g.level = 4;
    switch (Rand(5)) {
      case 0: return Field(3);
      case 1: return Gen{"RECNO()", T::kNumber, "", double(recno_)};
      case 2: return g;
      default: return Literal("0|1|2|3|5|8|11|2.7", T::kNumber);
    }
  }

  std::mt19937 rng_;
  Gen fields_[7];
  bool deleted_ = false;
  std::uint32_t recno_ = 1;
  using A = const Args&;
  using O = const std::string&;
  const std::vector<Production> productions_ = {  // the operators, then the functions
      {{" + ", " - "}, 4, "CC", T::kChar, [](A a, O op, Gen& g) {
         const std::size_t keep = a[0].s.find_last_not_of(' ') + 1;
         g.s = op == " + " ? a[0].s + a[1].s
                           : a[0].s.substr(0, keep) + a[1].s + std::string(a[0].s.size() - keep, ' ');
         g.width = a[0].width >= 0 && a[1].width >= 0 ? a[0].width + a[1].width : -1;
       }},
      {{" + "}, 4, "NN", T::kNumber, [](A a, O, Gen& g) { g.n = a[0].n + a[1].n; }},
      {{" - "}, 4, "NN", T::kNumber, [](A a, O, Gen& g) { g.n = a[0].n - a[1].n; }},
      {{" * "}, 5, "NN", T::kNumber, [](A a, O, Gen& g) { g.n = a[0].n * a[1].n; }},
      {{" / "}, 5, "NN", T::kNumber, [](A a, O, Gen& g) {
         g.n = a[1].n == 0 ? 0 : a[0].n / a[1].n, g.fails |= a[1].n == 0;
       }},
      {{" + ", " - "}, 4, "DN", T::kDate, [](A a, O op, Gen& g) {
         g.j = a[0].j == 0 ? 0 : a[0].j + std::int64_t(op == " + " ? a[1].n : -a[1].n);
       }},
      {{" - "}, 4, "DD", T::kNumber, [](A a, O, Gen& g) { g.n = double(a[0].j - a[1].j); }},
      {{" = ", " == ", " <> ", " # ", " != ", " < ", " > ", " <= ", " >= ", "=", "<>", "#"}, 3,
       "XX", T::kLogical, [](A a, O op, Gen& g) {
         const int c = Compare(a[0], a[1], op == " == ");
         const std::string o = Trim(op, true, true);
         g.b = o == "<" ? c < 0 : o == ">" ? c > 0 : o == "<=" ? c <= 0 : o == ">=" ? c >= 0
             : o == "=" || o == "==" ? c == 0 : c != 0;
       }},
      {{" $ "}, 3, "CC", T::kLogical, [](A a, O, Gen& g) { g.b = a[1].s.find(a[0].s) != std::string::npos; }},
      {{" .AND. ", " AND ", " .and. ", ".AND."}, 1, "LL", T::kLogical, [](A a, O, Gen& g) {
         g.b = a[0].b && a[1].b, g.fails = a[0].fails || (a[0].b && a[1].fails);  // right side if needed
       }},
      {{" .OR. ", " OR ", " .or. ", ".OR."}, 0, "LL", T::kLogical, [](A a, O, Gen& g) {
         g.b = a[0].b || a[1].b, g.fails = a[0].fails || (!a[0].b && a[1].fails);
       }},
      {{"-", "+"}, 6, "N", T::kNumber, [](A a, O op, Gen& g) { g.n = op == "-" ? -a[0].n : a[0].n; }},
      {{".NOT. ", "!", "NOT ", ".not."}, 2, "L", T::kLogical, [](A a, O, Gen& g) { g.b = !a[0].b; }},
      {{"UPPER", "LOWER"}, 7, "C", T::kChar, [](A a, O op, Gen& g) {
         for (char c : a[0].s)
           g.s += op[0] == 'U' ? (c >= 'a' && c <= 'z' ? c - 32 : c) : (c >= 'A' && c <= 'Z' ? c + 32 : c);
         g.width = a[0].width;
       }},
      {{"ALLTRIM", "TRIM", "RTRIM", "LTRIM"}, 7, "C", T::kChar, [](A a, O op, Gen& g) {
         g.s = Trim(a[0].s, op[0] != 'T' && op[0] != 'R', op[0] != 'L');
       }},
      {{"LEFT", "RIGHT"}, 7, "CS", T::kChar, [](A a, O op, Gen& g) {
         const std::size_t k = std::min(Count(a[1].n), a[0].s.size());
         g.s = op[0] == 'L' ? a[0].s.substr(0, k) : a[0].s.substr(a[0].s.size() - k);
         if (a[0].width >= 0 && a[1].Lit() >= 0) g.width = std::min(a[1].Lit(), a[0].width);
       }},
      {{"SUBSTR"}, 7, "CSs", T::kChar, [](A a, O, Gen& g) {
         const std::size_t at = Count(a[1].n), w = a[0].width;
         if (at >= 1 && at <= a[0].s.size())
           g.s = a[0].s.substr(at - 1, a.size() > 2 ? Count(a[2].n) : 9999);
         const int rest = at >= 1 && at <= w ? int(w - at + 1) : 0;
         if (a[0].width >= 0 && a[1].Lit() >= 0 && (a.size() == 2 || a[2].Lit() >= 0))
           g.width = a.size() == 2 ? rest : std::min(a[2].Lit(), rest);
       }},
      {{"PADL", "PADR"}, 7, "CSc", T::kChar, [](A a, O op, Gen& g) {
         const std::size_t n = Count(a[1].n);
         const std::string cut = a[0].s.substr(0, n);
         const std::string fill(n - cut.size(), a.size() > 2 && !a[2].s.empty() ? a[2].s[0] : ' ');
         g.s = op[3] == 'L' ? fill + cut : cut + fill, g.width = a[1].Lit();
       }},
      {{"SPACE"}, 7, "S", T::kChar, [](A a, O, Gen& g) { g.s.assign(Count(a[0].n), ' '), g.width = a[0].Lit(); }},
      {{"STR"}, 7, "Nss", T::kChar, [](A a, O, Gen& g) {
         const int len = a.size() > 1 ? int(Count(a[1].n)) : 10;
         g.s = StrOf(a[0].n, len, a.size() > 2 ? int(Count(a[2].n)) : 0);
         g.width = a.size() == 1 ? 10 : a[1].Lit() >= 0 ? std::clamp(len, 1, 255) : -1;
       }},
      {{"DTOS"}, 7, "D", T::kChar, [](A a, O, Gen& g) { g.s = DtosOf(a[0].j), g.width = 8; }},
      {{"VAL"}, 7, "C", T::kNumber, [](A a, O, Gen& g) { g.n = ValOf(a[0].s); }},
      {{"RECNO"}, 7, "", T::kNumber, [this](A, O, Gen& g) { g.n = recno_; }},
      {{"DELETED"}, 7, "", T::kLogical, [this](A, O, Gen& g) { g.b = deleted_; }},
      {{"EMPTY"}, 7, "*", T::kLogical, [](A a, O, Gen& g) {
         g.b = a[0].type == T::kChar ? Trim(a[0].s, true, true).empty() : a[0].type == T::kNumber
             ? a[0].n == 0 : a[0].type == T::kDate ? a[0].j == 0 : !a[0].b;
       }},
      {{"IIF"}, 7, "L@@", T::kChar, [](A a, O, Gen& g) {
         const Gen& taken = a[0].b ? a[1] : a[2];
         g.type = taken.type, g.s = taken.s, g.n = taken.n, g.j = taken.j, g.b = taken.b;
         g.fails = a[0].fails || taken.fails;
         if (g.type == T::kChar && a[1].width >= 0 && a[1].width == a[2].width) g.width = a[1].width;
       }},
  };
};

const std::vector<std::tuple<const char*, char, int, int>> kFields = {
    {"NAME", 'C', 8, 0}, {"CODE", 'C', 3, 0}, {"AMT", 'N', 9, 2}, {"QTY", 'N', 3, 0},
    {"DT", 'D', 8, 0},   {"DU", 'D', 8, 0},   {"OK", 'L', 1, 0}};

TEST(ExprModel, RandomExpressionsGiveTheModelsValueTypeWidthAndKey) {
  CommaLocale comma;
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf(kFields, 0x03), &layout).ok());
  Model model(33);
  Record record(&layout, &CodePage::ForMark(0x03));
  // Every operator and function in each of its spellings, over operands of each type, then
  // expressions of them all at random.
  std::vector<std::tuple<const Production*, const char*, T>> each;
  for (const Production& p : model.productions())
    for (const char* op : p.texts)
      for (int t = 0; t < 4 * 12; ++t) each.emplace_back(&p, op, static_cast<T>(t % 4));
  for (std::size_t i = 0; i < each.size() + 6000; ++i) {
    record.Assign(model.NewRecord());
    const Gen g = i < each.size() ? model.Build(*std::get<0>(each[i]), std::get<1>(each[i]),
                                                std::get<2>(each[i]), std::get<2>(each[i]), 2)
                                  : model.Of(static_cast<T>(i % 4), 1 + i % 4);
    SCOPED_TRACE(g.text);
    std::unique_ptr<Expr> e;
    Status s = Expr::Compile(g.text, layout, &e);
    ASSERT_TRUE(s.ok()) << s.ToString();
    ASSERT_EQ(e->type(), g.type);
    EXPECT_EQ(e->width(), g.width);
    ExprValue v;
    ASSERT_EQ(e->Evaluate(record, model.recno(), &v).ok(), !g.fails);
    if (g.fails) continue;
    const int key_length = g.type == T::kChar ? 1 + model.Rand(20) : 8;
    std::string key, want = g.s;
    ASSERT_TRUE(e->EvaluateKey(record, model.recno(), key_length, &key).ok());
    want.resize(static_cast<std::size_t>(key_length), ' ');
    if (g.type == T::kChar) EXPECT_EQ(v.text, g.s);
    if (g.type == T::kNumber) EXPECT_EQ(v.number, g.n);
    if (g.type == T::kDate) EXPECT_EQ(v.julian, g.j);
    if (g.type == T::kLogical) EXPECT_EQ(v.logical, g.b);
    const double number = g.type == T::kNumber ? g.n : static_cast<double>(g.j);
    EXPECT_EQ(key, g.type == T::kChar ? want : g.type == T::kLogical ? (g.b ? "T" : "F")
                                                                      : EncodeNumberKey(number));
  }
}

// Operands of the wrong type and functions with the wrong arguments are refused, as is what the
// engine does not know; a message says what it could not understand.
TEST(ExprModel, WhatCannotBeComputedIsRefused) {
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf(kFields, 0x03), &layout).ok());
  Model model(34);
  model.NewRecord();
  static const char* kForms[] = {  // C N D L stand for an operand of that type
      "C + N", "N + C", "D + D", "N + D", "L + L", "C - D", "N - D", "L - N", "C * N", "N / D",
      "L * N", "C = N", "D < N", "L # C", "N == D", "C $ N", "N $ N", "D $ D", ".NOT. C", "!N",
      "NOT D", "-C", "+D", "-L", "C .AND. L", "L .OR. N", "N AND L", "L OR D", "IIF(L, C, N)",
      "IIF(L, D, N)", "IIF(L, L, C)", "IIF(N, C, C)", "IIF(C, N, N)", "UPPER(N)", "LOWER(D)",
      "ALLTRIM(L)", "TRIM(N)", "LTRIM(D)", "RTRIM(N)", "LEFT(N, N)", "RIGHT(C, C)", "SUBSTR(D, N)",
      "SUBSTR(C, N, C)", "PADL(C, C)", "PADR(C, N, N)", "SPACE(C)", "STR(C)", "STR(N, C)",
      "STR(N, N, D)", "VAL(N)", "DTOS(C)", "DTOS(N)", "UPPER()", "UPPER(C, C)", "LEFT(C)",
      "SUBSTR(C)", "SUBSTR(C, N, N, N)", "PADL(C)", "PADR(C, N, C, C)", "SPACE()", "STR()",
      "STR(N, N, N, N)", "VAL()", "DTOS()", "DELETED(L)", "RECNO(N)", "EMPTY()", "EMPTY(C, C)",
      "IIF(L, C)", "IIF(L, C, C, C)", "LEFT(C, N, N)", "TRIM()", "ALLTRIM(C, C)", "VAL(C, C)",
      "DTOS(D, D)", "SPACE(N, N)", "LOWER(C, C)", "RIGHT(C, N, N)", "RTRIM(C, C)", "LTRIM(C, C)",
      "TRIM(C, C)", "PADL(C, N, C, C)"};
  for (const char* form : kForms) {
    for (int round = 0; round < 20; ++round) {
      std::string text;
      for (const char* p = form; *p; ++p) {
        const char* at = std::strchr("CNDL", *p);
        const bool operand = at && (p == form || !std::isalpha(p[-1])) && !std::isalpha(p[1]);
        text += operand ? "(" + model.Of(static_cast<T>(at - "CNDL"), 2).text + ")" : std::string(1, *p);
      }
      std::unique_ptr<Expr> e;
      EXPECT_EQ(Expr::Compile(text, layout, &e).code(), Status::Code::kNotSupported) << text;
    }
  }
  for (const auto& [text, message] : std::initializer_list<std::pair<const char*, const char*>>{
           {"SOUNDEX(NAME)", "function SOUNDEX()"}, {"UPP(NAME)", "function UPP()"},
           {"NOFIELD", "no field NOFIELD"}, {"NAME +", "ends too soon"},
           {"(NAME", "missing \")\""}, {"LEFT(NAME, 2", "missing \")\" after LEFT("},
           {"'open", "unterminated string"}, {"NAME & CODE", "character '&'"},
           {"1.2.3", "number 1.2.3"}, {"OK .XOR. OK", "operator .XOR."}, {"NAME CODE", "unexpected \"CODE\""},
           {"IIF(OK, NAME, AMT)", "IIF() branches of different types"},
           {"LEFT(NAME, CODE)", "LEFT() argument 2 of the wrong type"}}) {
    std::unique_ptr<Expr> e;
    EXPECT_EQ(Expr::Compile(text, layout, &e).ToString(),
              "Not supported: expression \"" + std::string(text) + "\": " + message);
  }
}

// Julian days both ways: every day of a 400-year cycle and every 97th day from before 0001-01-01
// to after 9999-12-31, as a date field's key and as DTOS() of the day reached by adding days; and
// number keys in the bytes FoxPro stores, whose order is number order.
TEST(ExprModel, DatesAndNumbersInKeys) {
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"DT", 'D', 8, 0}, {"AMT", 'N', 10, 2}}, 0x03), &layout).ok());
  Record record(&layout, &CodePage::ForMark(0x03));
  const auto key = [&](const char* text, std::uint32_t recno) {
    std::unique_ptr<Expr> e;
    std::string k;
    EXPECT_TRUE(Expr::Compile(text, layout, &e).ok() && e->EvaluateKey(record, recno, 8, &k).ok());
    return k;
  };
  EXPECT_EQ(std::tuple(JulianOf(1, 1, 1), JulianOf(2024, 6, 3), JulianOf(1582, 10, 15)),
            std::tuple(1721426, 2460465, 2299161));
  record.Assign(" 20240603   1234.50");
  EXPECT_EQ(key("DT", 1), std::string("\xC1\x42\xC5\x98\x80\x00\x00\x00", 8));  // Julian 2460465
  EXPECT_EQ(key("AMT", 1), std::string("\xC0\x93\x4A\x00\x00\x00\x00\x00", 8));
  EXPECT_EQ(key("-AMT", 1), std::string("\x3F\x6C\xB5\xFF\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(key("RECNO()", 7), std::string("\xC0\x1C\x00\x00\x00\x00\x00\x00", 8));
  for (const char* text : {"00010101", "99991231"}) {
    record.Assign(std::string(" ") + text);
    EXPECT_EQ(DtosOf(static_cast<std::int64_t>(DecodeNumberKey(key("DT", 1)))), text);
  }
  record.Assign(" 00010101");
  std::unique_ptr<Expr> shifted;
  ASSERT_TRUE(Expr::Compile("DTOS(DT - 800 + RECNO())", layout, &shifted).ok());
  const auto check = [&](std::int64_t julian) {
    ExprValue v;
    ASSERT_TRUE(shifted->Evaluate(record, std::uint32_t(julian - JulianOf(1, 1, 1) + 800), &v).ok());
    ASSERT_EQ(v.text, DtosOf(julian)) << julian;
    DbfDate d;
    if (v.text[0] != ' ' && v.text.substr(0, 4) != "0000") {
      ASSERT_TRUE(ParseDate(v.text, &d)) << v.text;
      ASSERT_EQ(JulianDay(d), julian) << v.text;
    }
  };
  const std::int64_t first = JulianOf(1, 1, 1), last = JulianOf(9999, 12, 31);
  for (std::int64_t j = JulianOf(1900, 1, 1); j < JulianOf(2300, 1, 1); ++j) check(j);
  for (std::int64_t j = first - 800; j <= last + 400; j += 97) check(j);
  for (std::int64_t j : {first - 1, first - 366, first - 367, last, last + 1}) check(j);
  std::vector<double> values = {-1e300, -12345.678, -1, -0.5, -1e-300, 0, 1e-300, 0.5, 1, 2, 1e300};
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) values.push_back(std::uniform_real_distribution<double>(-1e6, 1e6)(rng));
  std::sort(values.begin(), values.end());
  for (std::size_t i = 1; i < values.size(); ++i) {
    EXPECT_LE(EncodeNumberKey(values[i - 1]), EncodeNumberKey(values[i])) << values[i];
    EXPECT_EQ(DecodeNumberKey(EncodeNumberKey(values[i])), values[i]);
  }
  EXPECT_EQ(EncodeNumberKey(-0.0), EncodeNumberKey(0.0));
}

}  // namespace
}  // namespace xbase::table_testing
