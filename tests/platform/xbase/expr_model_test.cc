// Index expressions against a model: random expressions over every operator, function and type
// a FoxPro 2.6 key or FOR clause uses, each generated with the value, type and width it must
// give, on records of edge values (blank, blank-padded, negative, fractional, the calendar's
// first and last days). Dates against the C++ calendar over every day of a wide range.
#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <locale>
#include <random>
#include <sstream>

#include "platform/xbase/expr.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

using T = ExprType;
using Days = std::chrono::sys_days;
constexpr std::int64_t kJulian1970 = 2440588;  // the Julian day number of 1970-01-01

std::int64_t JulianOf(int y, unsigned m, unsigned d) {
  const std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(m),
                                        std::chrono::day(d)};
  return Days(ymd).time_since_epoch().count() + kJulian1970;
}

std::string DtosOf(std::int64_t julian) {
  const std::chrono::year_month_day ymd{Days(std::chrono::days(julian - kJulian1970))};
  const int y = static_cast<int>(ymd.year());
  if (julian == 0 || y < 0 || y > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02u%02u", y, unsigned(ymd.month()), unsigned(ymd.day()));
  return buf;
}

// FoxPro's STR(): halves away from zero, decimals given up before the number is cut, stars
// when the whole part does not fit.
std::string StrOf(double v, int len, int dec) {
  len = std::clamp(len, 1, 255);
  for (int d = dec; d >= 0; --d) {
    if (d > 0 && d + 2 > len) continue;
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(d) << std::round(v * std::pow(10, d)) / std::pow(10, d);
    if (out.str().size() <= static_cast<std::size_t>(len))
      return std::string(len - out.str().size(), ' ') + out.str();
  }
  return std::string(len, '*');
}

// xBase VAL(): blanks, a sign, digits with one point; anything after is ignored.
double ValOf(const std::string& t) {
  std::size_t i = t.find_first_not_of(' ');
  std::string num;
  if (i != std::string::npos && (t[i] == '-' || t[i] == '+')) num += t[i++];
  bool digits = false;
  for (; i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) ||
                          (t[i] == '.' && num.find('.') == std::string::npos));
       ++i) {
    digits |= t[i] != '.';
    num += t[i];
  }
  double v = 0;
  if (!digits) return 0;
  if (num[0] == '+') num.erase(0, 1);
  std::from_chars(num.data(), num.data() + num.size(), v);
  return v;
}

struct Gen {
  std::string text;
  T type = T::kChar;
  std::string s;
  double n = 0;
  std::int64_t j = 0;  // a date's Julian day, 0 when blank
  bool b = false;
  int width = -1;      // a character result's width when it does not depend on the record
  int level = 7;       // binds as: 0 OR, 1 AND, 2 NOT, 3 comparison, 4 + -, 5 * /, 6 sign, 7 atom
  bool literal = false;
  bool fails = false;  // evaluation must fail (a division by zero)
  Gen Number(double v) { return n = v, *this; }
};

// One record of edge values, laid out NAME C(8), CODE C(3), AMT N(9,2), QTY N(3,0), DT D, DU D,
// OK L; the generator draws expressions over it.
class Model {
 public:
  explicit Model(std::mt19937* rng) : rng_(*rng) {}

  std::string NewRecord() {
    static const char* kNames[] = {"", "Ann Lee", "  Ann", "ab$cd", "ZZZZZZZZ", "\xE9t\xE9", "a"};
    static const char* kCodes[] = {"", "ab", "A$", "zz9", "\xE9"};
    static const std::pair<const char*, double> kAmts[] = {
        {"         ", 0},   {"  1234.50", 1234.5}, {"   -12.25", -12.25},  {"     0.00", 0},
        {"999999.99", 999999.99}, {"    -0.01", -0.01}, {"   1x    ", 1}};
    static const std::pair<const char*, double> kQtys[] = {
        {"   ", 0}, {"  7", 7}, {" -3", -3}, {"  0", 0}, {" 12", 12}, {"  2", 2}};
    static const char* kDates[] = {"        ", "00010101", "17520914", "19000228",
                                   "20000229", "20240603", "99991231", "20241301"};
    const auto pad = [](std::string s, std::size_t n) { return s.resize(n, ' '), s; };
    name_ = pad(Pick(kNames), 8), code_ = pad(Pick(kCodes), 3);
    const auto amt = Pick(kAmts), qty = Pick(kQtys);
    amt_ = amt.second, qty_ = qty.second;
    const std::string dt = Pick(kDates), du = Pick(kDates);
    dt_ = DateOf(dt), du_ = DateOf(du);
    const char ok = "TtYyFfNn ?"[Rand(10)];
    ok_ = std::strchr("TtYy", ok) != nullptr;
    deleted_ = Rand(2) == 0;
    recno_ = 1 + Rand(12);
    return std::string(deleted_ ? "*" : " ") + name_ + code_ + amt.first + qty.first + dt + du + ok;
  }
  std::uint32_t recno() const { return recno_; }

  Gen Of(T type, int depth) {
    switch (type) {
      case T::kChar: return Char(depth);
      case T::kNumber: return Num(depth);
      case T::kDate: return Date(depth);
      case T::kLogical: return Logic(depth);
    }
    return {};
  }
  T AnyType() { return static_cast<T>(Rand(4)); }
  int Rand(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  // Operand text, in parentheses when it binds looser than `level` (or at random).
  std::string Operand(const Gen& g, int level) {
    return g.level < level || Rand(8) == 0 ? "(" + g.text + ")" : g.text;
  }

 private:
  template <typename A, std::size_t N>
  const A& Pick(const A (&a)[N]) { return a[Rand(N)]; }
  static std::int64_t DateOf(const std::string& t) {
    const int y = std::atoi(t.substr(0, 4).c_str());
    const unsigned m = std::atoi(t.substr(4, 2).c_str()), d = std::atoi(t.substr(6, 2).c_str());
    const std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(m),
                                          std::chrono::day(d)};
    return ymd.ok() && y > 0 ? JulianOf(y, m, d) : 0;
  }
  // A function name as written: any case, and from four letters up to its whole length.
  std::string Fn(std::string name) {
    if (name.size() > 4) name.resize(4 + Rand(static_cast<int>(name.size()) - 3));
    if (Rand(3) == 0) {
      for (char& c : name) c = static_cast<char>(std::tolower(c));
    }
    return name;
  }
  std::string Field(const char* name) {
    static const char* kForms[] = {"%s", "t.%s", "T->%s", "x->%s"};
    char buf[32];
    std::snprintf(buf, sizeof buf, kForms[Rand(4)], name);
    std::string s = buf;
    if (Rand(3) == 0) {
      for (char& c : s) c = static_cast<char>(std::tolower(c));
    }
    return s;
  }
  static Gen Atom(std::string text, T type) {
    Gen g;
    g.text = std::move(text);
    g.type = type;
    return g;
  }
  Gen Call(const std::string& name, const std::vector<Gen>& args, T type) {
    Gen g = Atom(Fn(name) + "(", type);
    for (std::size_t i = 0; i < args.size(); ++i) {
      g.text += (i ? "," + std::string(Rand(2), ' ') : "") + args[i].text;
      g.fails |= args[i].fails;
    }
    g.text += ")";
    return g;
  }
  static std::size_t Count(double d) { return d < 0 ? 0 : d > 65535 ? 65535 : std::size_t(d); }
  // A small count argument (a width, a position).
  Gen Size() {
    switch (Rand(6)) {
      case 0: return Atom(Field("QTY"), T::kNumber).Number(qty_);
      case 1: return Atom(Fn("RECNO") + "()", T::kNumber).Number(recno_);
      case 2: {
        const int k = Rand(5);
        Gen g = Atom("1 + " + std::to_string(k), T::kNumber).Number(1 + k);
        g.level = 4;
        return g;
      }
      default: {
        static const std::pair<const char*, double> kSizes[] = {
            {"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"5", 5}, {"8", 8}, {"11", 11}, {"2.7", 2.7}};
        const auto& [text, v] = Pick(kSizes);
        Gen g = Atom(text, T::kNumber).Number(v);
        g.literal = true;
        return g;
      }
    }
  }

  Gen Char(int depth) {
    const int pick = Rand(depth <= 0 ? 2 : 13);
    if (pick == 0) {
      const bool name = Rand(2);
      Gen g = Atom(Field(name ? "NAME" : "CODE"), T::kChar);
      g.s = name ? name_ : code_;
      g.width = static_cast<int>(g.s.size());
      return g;
    }
    if (pick == 1) {
      static const char* kTexts[] = {"", "a", "Ann", "ab", " x ", "$", "zz9", "\xE9", "A$"};
      static const char* kQuotes[] = {"''", "\"\"", "[]"};
      const std::string q = Pick(kQuotes), s = Pick(kTexts);
      Gen g = Atom(q[0] + s + q[1], T::kChar);
      g.s = s;
      g.width = static_cast<int>(s.size());
      return g;
    }
    Gen a = Char(depth - 1), g;
    switch (pick) {
      case 2:
      case 3: {
        const bool up = pick == 2;
        g = Call(up ? "UPPER" : "LOWER", {a}, T::kChar);
        for (char c : a.s) g.s += static_cast<char>(up ? (c >= 'a' && c <= 'z' ? c - 32 : c)
                                                      : (c >= 'A' && c <= 'Z' ? c + 32 : c));
        g.width = a.width;
        return g;
      }
      case 4: {
        static const char* kTrims[] = {"ALLTRIM", "TRIM", "RTRIM", "LTRIM"};
        const std::string f = Pick(kTrims);
        g = Call(f, {a}, T::kChar);
        std::size_t b = f[0] == 'A' || f[0] == 'L' ? a.s.find_first_not_of(' ') : 0;
        std::size_t e = f[0] == 'L' ? a.s.size() : a.s.find_last_not_of(' ') + 1;
        g.s = b == std::string::npos || e == 0 ? "" : a.s.substr(b, e - b);
        return g;
      }
      case 5: {
        const Gen n = Size();
        const bool left = Rand(2);
        g = Call(left ? "LEFT" : "RIGHT", {a, n}, T::kChar);
        const std::size_t k = std::min(Count(n.n), a.s.size());
        g.s = left ? a.s.substr(0, k) : a.s.substr(a.s.size() - k);
        if (a.width >= 0 && n.literal) g.width = std::min(static_cast<int>(Count(n.n)), a.width);
        break;
      }
      case 6: {
        const Gen from = Size(), len = Size();
        const bool three = Rand(2);
        g = Call("SUBSTR", three ? std::vector<Gen>{a, from, len} : std::vector<Gen>{a, from},
                 T::kChar);
        const std::size_t at = Count(from.n);
        if (at >= 1 && at <= a.s.size()) g.s = a.s.substr(at - 1, three ? Count(len.n) : 99);
        if (a.width >= 0 && from.literal) {
          const int rest = at >= 1 && at <= std::size_t(a.width) ? a.width - int(at) + 1 : 0;
          if (!three) g.width = rest;
          if (three && len.literal) g.width = std::min(static_cast<int>(Count(len.n)), rest);
        }
        break;
      }
      case 7: {
        const Gen n = Size();
        const bool with_pad = Rand(2), left = Rand(2);
        static const char* kPads[] = {"'0'", "'*'", "''", "'xy'"};
        const std::string pad_text = Pick(kPads);
        std::vector<Gen> args{a, n};
        if (with_pad) args.push_back(Atom(pad_text, T::kChar));
        g = Call(left ? "PADL" : "PADR", args, T::kChar);
        const char pad = with_pad && pad_text.size() > 2 ? pad_text[1] : ' ';
        const std::string cut = a.s.substr(0, std::min(Count(n.n), a.s.size()));
        const std::string fill(Count(n.n) - cut.size(), pad);
        g.s = left ? fill + cut : cut + fill;
        if (n.literal) g.width = static_cast<int>(Count(n.n));
        break;
      }
      case 8: {
        const Gen n = Size();
        g = Call("SPACE", {n}, T::kChar);
        g.s.assign(Count(n.n), ' ');
        if (n.literal) g.width = static_cast<int>(Count(n.n));
        break;
      }
      case 9: {
        const Gen x = Num(depth - 1), len = Size(), dec = Size();
        const int args = 1 + Rand(3);
        std::vector<Gen> all{x, len, dec};
        all.resize(static_cast<std::size_t>(args));
        g = Call("STR", all, T::kChar);
        const int l = args > 1 ? static_cast<int>(Count(len.n)) : 10;
        g.s = StrOf(x.n, l, args > 2 ? static_cast<int>(Count(dec.n)) : 0);
        if (args == 1) g.width = 10;
        if (args > 1 && len.literal) g.width = std::clamp(l, 1, 255);
        break;
      }
      case 10: {
        const Gen d = Date(depth - 1);
        g = Call("DTOS", {d}, T::kChar);
        g.s = DtosOf(d.j);
        g.width = 8;
        break;
      }
      case 11: {
        const Gen b = Char(depth - 1);
        const bool plus = Rand(2);
        g = Atom(Operand(a, 4) + (plus ? " + " : " - ") + Operand(b, 5), T::kChar);
        g.level = 4;
        g.fails = a.fails || b.fails;
        const std::size_t keep = a.s.find_last_not_of(' ') + 1;
        g.s = plus ? a.s + b.s : a.s.substr(0, keep) + b.s + std::string(a.s.size() - keep, ' ');
        if (a.width >= 0 && b.width >= 0) g.width = a.width + b.width;
        return g;
      }
      default:
        return Iif(a, Char(depth - 1), depth);
    }
    if (g.width >= 0) g.s.resize(static_cast<std::size_t>(g.width), ' ');
    return g;
  }

  Gen Iif(const Gen& a, const Gen& b, int depth) {
    const Gen c = Logic(depth - 1);
    Gen g = Call("IIF", {c, a, b}, a.type);
    const Gen& taken = c.b ? a : b;
    g.s = taken.s, g.n = taken.n, g.j = taken.j, g.b = taken.b;
    g.fails = c.fails || taken.fails;
    if (a.type == T::kChar && a.width >= 0 && a.width == b.width) g.width = a.width;
    return g;
  }

  Gen Num(int depth) {
    switch (Rand(depth <= 0 ? 3 : 12)) {
      case 0: return Atom(Field("AMT"), T::kNumber).Number(amt_);
      case 1: return Atom(Field("QTY"), T::kNumber).Number(qty_);
      case 2: {
        static const std::pair<const char*, double> kNumbers[] = {
            {"0", 0}, {"1", 1}, {"7", 7}, {"0.5", 0.5}, {".25", 0.25}, {"2.", 2},
            {"1234.5678", 1234.5678}, {"65536", 65536}, {"100", 100}};
        const auto& [text, v] = Pick(kNumbers);
        Gen g = Atom(text, T::kNumber).Number(v);
        g.literal = true;
        return g;
      }
      case 3: return Atom(Fn("RECNO") + "()", T::kNumber).Number(recno_);
      case 4: {
        const Gen a = Num(depth - 1);
        const bool minus = Rand(2);
        Gen g = Atom((minus ? "-" : "+") + Operand(a, 6), T::kNumber).Number(minus ? -a.n : a.n);
        g.level = 6;
        g.fails = a.fails;
        return g;
      }
      case 5:
      case 6:
      case 7:
      case 8: {
        const Gen a = Num(depth - 1), b = Num(depth - 1);
        const char op = "+-*/"[Rand(4)];
        const int level = op == '+' || op == '-' ? 4 : 5;
        const double v = op == '+' ? a.n + b.n : op == '-' ? a.n - b.n : op == '*' ? a.n * b.n
                       : b.n == 0 ? 0 : a.n / b.n;
        Gen g = Atom(Operand(a, level) + " " + op + " " + Operand(b, level + 1), T::kNumber)
                    .Number(v);
        g.level = level;
        g.fails = a.fails || b.fails || (op == '/' && b.n == 0);
        return g;
      }
      case 9: {
        const Gen c = Char(depth - 1);
        Gen g = Call("VAL", {c}, T::kNumber);
        g.n = ValOf(c.s);
        return g;
      }
      case 10: {
        const Gen a = Date(depth - 1), b = Date(depth - 1);
        Gen g = Atom(Operand(a, 4) + " - " + Operand(b, 5), T::kNumber)
                    .Number(static_cast<double>(a.j - b.j));
        g.level = 4;
        g.fails = a.fails || b.fails;
        return g;
      }
      default:
        return Iif(Num(depth - 1), Num(depth - 1), depth);
    }
  }

  Gen Date(int depth) {
    switch (Rand(depth <= 0 ? 1 : 4)) {
      case 0: {
        const bool dt = Rand(2);
        Gen g = Atom(Field(dt ? "DT" : "DU"), T::kDate);
        g.j = dt ? dt_ : du_;
        return g;
      }
      case 1:
      case 2: {
        const Gen a = Date(depth - 1);
        const Gen n = Rand(2) ? Size() : Num(0);
        const bool plus = Rand(2);
        Gen g = Atom(Operand(a, 4) + (plus ? " + " : " - ") + Operand(n, 5), T::kDate);
        g.level = 4;
        g.fails = a.fails || n.fails;
        g.j = a.j == 0 ? 0 : a.j + static_cast<std::int64_t>(plus ? n.n : -n.n);
        return g;
      }
      default:
        return Iif(Date(depth - 1), Date(depth - 1), depth);
    }
  }

  Gen Logic(int depth) {
    switch (Rand(depth <= 0 ? 3 : 10)) {
      case 0: {
        Gen g = Atom(Field("OK"), T::kLogical);
        g.b = ok_;
        return g;
      }
      case 1: {
        static const char* kLiterals[] = {".T.", ".t.", ".Y.", ".F.", ".f.", ".N.", ".n."};
        Gen g = Atom(Pick(kLiterals), T::kLogical);
        g.b = std::strchr("TtY", g.text[1]) != nullptr;
        return g;
      }
      case 2: {
        Gen g = Atom(Fn("DELETED") + "()", T::kLogical);
        g.b = deleted_;
        return g;
      }
      case 3:
      case 4: {
        const T type = AnyType();
        const Gen a = Of(type, depth - 1), b = Of(type, depth - 1);
        static const char* kOps[] = {"=", "==", "<>", "#", "!=", "<", ">", "<=", ">="};
        const std::string op = Pick(kOps);
        int c = 0;
        if (type == T::kChar) {
          std::string l = a.s, r = b.s;
          if (op == "==") {
            while (!l.empty() && l.back() == ' ') l.pop_back();
            while (!r.empty() && r.back() == ' ') r.pop_back();
          } else {
            l.resize(r.size(), ' ');  // compared over the right side's length
          }
          c = l.compare(r);
        } else {
          const double x = type == T::kNumber ? a.n : type == T::kDate ? a.j : a.b;
          const double y = type == T::kNumber ? b.n : type == T::kDate ? b.j : b.b;
          c = x < y ? -1 : x > y ? 1 : 0;
        }
        Gen g = Atom(Operand(a, 4) + " " + op + " " + Operand(b, 4), T::kLogical);
        g.level = 3;
        g.fails = a.fails || b.fails;
        g.b = op == "=" || op == "==" ? c == 0 : op == "<" ? c < 0 : op == ">" ? c > 0
            : op == "<=" ? c <= 0 : op == ">=" ? c >= 0 : c != 0;
        return g;
      }
      case 5: {
        const Gen a = Char(depth - 1), b = Char(depth - 1);
        Gen g = Atom(Operand(a, 4) + " $ " + Operand(b, 4), T::kLogical);
        g.level = 3;
        g.fails = a.fails || b.fails;
        g.b = b.s.find(a.s) != std::string::npos;
        return g;
      }
      case 6:
      case 7: {
        const Gen a = Logic(depth - 1), b = Logic(depth - 1);
        const bool is_and = Rand(2);
        static const char* kAnd[] = {" .AND. ", " AND ", " .and. ", ".AND."};
        static const char* kOr[] = {" .OR. ", " OR ", " .or. ", ".OR."};
        const int level = is_and ? 1 : 0;
        const std::string left = Operand(a, level);
        std::string op = is_and ? Pick(kAnd) : Pick(kOr);
        if (std::isdigit(static_cast<unsigned char>(left.back()))) op = is_and ? " .AND. " : " .OR. ";
        Gen g = Atom(left + op + Operand(b, level + 1), T::kLogical);
        g.level = level;
        g.b = is_and ? a.b && b.b : a.b || b.b;
        g.fails = a.fails || (is_and == a.b && b.fails);  // the right side only when needed
        return g;
      }
      case 8: {
        const Gen a = Logic(depth - 1);
        static const char* kNot[] = {".NOT. ", "!", "NOT ", ".not."};
        Gen g = Atom(Pick(kNot) + Operand(a, 2), T::kLogical);
        g.level = 2;
        g.b = !a.b;
        g.fails = a.fails;
        return g;
      }
      default: {
        if (Rand(2)) return Iif(Logic(depth - 1), Logic(depth - 1), depth);
        const Gen a = Of(AnyType(), depth - 1);
        Gen g = Call("EMPTY", {a}, T::kLogical);
        g.b = a.type == T::kChar ? a.s.find_first_not_of(' ') == std::string::npos
            : a.type == T::kNumber ? a.n == 0 : a.type == T::kDate ? a.j == 0 : !a.b;
        return g;
      }
    }
  }

  std::mt19937& rng_;
  std::string name_, code_;
  double amt_ = 0, qty_ = 0;
  std::int64_t dt_ = 0, du_ = 0;
  bool ok_ = false, deleted_ = false;
  std::uint32_t recno_ = 1;
};

TEST(ExprModel, RandomExpressionsGiveTheModelsValueTypeWidthAndKey) {
  CommaLocale comma;
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"NAME", 'C', 8, 0}, {"CODE", 'C', 3, 0},
                                         {"AMT", 'N', 9, 2}, {"QTY", 'N', 3, 0}, {"DT", 'D', 8, 0},
                                         {"DU", 'D', 8, 0}, {"OK", 'L', 1, 0}}, 0x03),
                                &layout).ok());
  std::mt19937 rng(33);
  Model model(&rng);
  Record record(&layout, &CodePage::ForMark(0x03));
  for (int i = 0; i < 6000; ++i) {
    record.Assign(model.NewRecord());
    const Gen g = model.Of(static_cast<T>(i % 4), 1 + i % 4);
    SCOPED_TRACE(g.text);
    std::unique_ptr<Expr> e;
    Status s = Expr::Compile(g.text, layout, &e);
    ASSERT_TRUE(s.ok()) << s.ToString();
    ASSERT_EQ(e->type(), g.type);
    EXPECT_EQ(e->width(), g.width);
    ExprValue v;
    s = e->Evaluate(record, model.recno(), &v);
    ASSERT_EQ(s.ok(), !g.fails) << s.ToString();
    if (g.fails) continue;
    const int key_length = g.type == T::kChar ? 1 + model.Rand(20) : 8;
    std::string key, want = g.s;
    ASSERT_TRUE(e->EvaluateKey(record, model.recno(), key_length, &key).ok());
    switch (g.type) {
      case T::kChar:
        EXPECT_EQ(v.text, g.s);
        want.resize(static_cast<std::size_t>(key_length), ' ');
        break;
      case T::kNumber:
        EXPECT_EQ(v.number, g.n);
        want = EncodeNumberKey(g.n);
        break;
      case T::kDate:
        EXPECT_EQ(v.julian, g.j);
        want = EncodeNumberKey(static_cast<double>(g.j));
        break;
      case T::kLogical:
        EXPECT_EQ(v.logical, g.b);
        want = g.b ? "T" : "F";
        break;
    }
    EXPECT_EQ(key, want);
  }
}

// Operands of the wrong type, and functions with the wrong arguments, are refused when the
// expression is compiled.
TEST(ExprModel, MistypedExpressionsAreRefused) {
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"NAME", 'C', 8, 0}, {"CODE", 'C', 3, 0},
                                         {"AMT", 'N', 9, 2}, {"QTY", 'N', 3, 0}, {"DT", 'D', 8, 0},
                                         {"DU", 'D', 8, 0}, {"OK", 'L', 1, 0}}, 0x03),
                                &layout).ok());
  std::mt19937 rng(34);
  Model model(&rng);
  model.NewRecord();
  // C N D L stand for an operand of that type.
  static const char* kForms[] = {
      "C + N", "N + C", "D + D", "N + D", "L + L", "C - D", "N - D", "L - N", "C * N", "N / D",
      "L * N", "C = N", "D < N", "L # C", "N == D", "C $ N", "N $ N", "D $ D", ".NOT. C", "!N",
      "NOT D", "-C", "+D", "-L", "C .AND. L", "L .OR. N", "N AND L", "L OR D", "IIF(L, C, N)",
      "IIF(L, D, N)", "IIF(L, L, C)", "IIF(N, C, C)", "IIF(C, N, N)", "UPPER(N)", "LOWER(D)",
      "ALLTRIM(L)", "TRIM(N)", "LTRIM(D)", "RTRIM(N)", "LEFT(N, N)", "RIGHT(C, C)", "SUBSTR(D, N)",
      "SUBSTR(C, N, C)", "PADL(C, C)", "PADR(C, N, N)", "SPACE(C)", "STR(C)", "STR(N, C)",
      "STR(N, N, D)", "VAL(N)", "DTOS(C)", "DTOS(N)", "UPPER()", "UPPER(C, C)", "LEFT(C)",
      "SUBSTR(C)", "SUBSTR(C, N, N, N)", "PADL(C)", "PADR(C, N, C, C)", "SPACE()", "STR()",
      "STR(N, N, N, N)", "VAL()", "DTOS()", "DELETED(L)", "RECNO(N)", "EMPTY()", "EMPTY(C, C)",
      "IIF(L, C)", "IIF(L, C, C, C)", "LEFT(C, N, N)", "TRIM()", "ALLTRIM(C, C)"};
  for (const char* form : kForms) {
    for (int round = 0; round < 20; ++round) {
      std::string text;
      for (const char* p = form; *p; ++p) {
        const char* at = std::strchr("CNDL", *p);
        const bool operand = at && (p == form || !std::isalpha(p[-1])) && !std::isalpha(p[1]);
        text += operand ? "(" + model.Of(static_cast<T>(at - "CNDL"), 2).text + ")"
                        : std::string(1, *p);
      }
      std::unique_ptr<Expr> e;
      Status s = Expr::Compile(text, layout, &e);
      EXPECT_EQ(s.code(), Status::Code::kNotSupported) << text << ": " << s.ToString();
    }
  }
}

// Julian days both ways, every day of a 400-year cycle and every 97th day from 0001-01-01 to
// 9999-12-31: a date field's key and DTOS() of the day reached by adding days to a date.
TEST(ExprModel, DatesAndJulianDaysAgreeWithTheCalendar) {
  DbfLayout layout;
  ASSERT_TRUE(DbfLayout::Decode(MakeDbf({{"DT", 'D', 8, 0}}, 0x03), &layout).ok());
  Record record(&layout, &CodePage::ForMark(0x03));
  std::unique_ptr<Expr> shifted, day;
  ASSERT_TRUE(Expr::Compile("DTOS(DT + RECNO())", layout, &shifted).ok());
  ASSERT_TRUE(Expr::Compile("DT", layout, &day).ok());
  const std::int64_t first = JulianOf(1, 1, 1), last = JulianOf(9999, 12, 31);
  EXPECT_EQ(first, 1721426);
  EXPECT_EQ(JulianOf(2024, 6, 3), 2460465);
  EXPECT_EQ(JulianOf(1582, 10, 15), 2299161);
  for (const auto& [base, dtos] : {std::pair{"00010101", "00010101"}, {"99991231", "99991231"}}) {
    record.Assign(std::string(" ") + base);
    ExprValue v;
    ASSERT_TRUE(day->Evaluate(record, 1, &v).ok());
    EXPECT_EQ(DtosOf(v.julian), dtos);
  }
  record.Assign(" 00010101");
  const auto check = [&](std::int64_t julian) {
    ExprValue v;
    ASSERT_TRUE(shifted->Evaluate(record, static_cast<std::uint32_t>(julian - first), &v).ok());
    ASSERT_EQ(v.text, DtosOf(julian)) << julian;
    const std::string text = DtosOf(julian);
    if (text[0] == ' ') return;
    DbfDate d;
    ASSERT_TRUE(ParseDate(text, &d)) << text;
    ASSERT_EQ(JulianDay(d), julian) << text;
  };
  for (std::int64_t j = JulianOf(1900, 1, 1); j < JulianOf(2300, 1, 1); ++j) check(j);
  for (std::int64_t j = first; j <= last + 400; j += 97) check(j);
  check(last);
  check(last + 1);  // past 9999: no date
}

}  // namespace
}  // namespace xbase::table_testing
