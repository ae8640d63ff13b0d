#include "base/text.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace xfr {

std::string VbLTrim(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return std::string(s.substr(b));
}

std::string VbRTrim(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return std::string(s.substr(0, e));
}

std::string VbTrim(std::string_view s) { return VbLTrim(VbRTrim(s)); }

std::string UCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UCase(a) == UCase(b);
}

namespace {

// Byte length of the UTF-8 sequence starting with lead byte c (1 for stray continuation bytes,
// so that broken text is still counted and cut without reading past its end).
std::size_t SequenceLength(unsigned char c) {
  if (c < 0xC0) return 1;
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  return 4;
}

// Byte offset of character n (or s.size()).
std::size_t OffsetOfChar(std::string_view s, std::size_t n) {
  std::size_t pos = 0;
  while (n > 0 && pos < s.size()) {
    pos += SequenceLength(static_cast<unsigned char>(s[pos]));
    --n;
  }
  return pos < s.size() ? pos : s.size();
}

}  // namespace

std::size_t Utf8Length(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < s.size(); ++count) {
    pos += SequenceLength(static_cast<unsigned char>(s[pos]));
  }
  return count;
}

std::string Utf8Left(std::string_view s, std::size_t n) {
  return std::string(s.substr(0, OffsetOfChar(s, n)));
}

std::string Utf8Right(std::string_view s, std::size_t n) {
  std::size_t len = Utf8Length(s);
  if (n >= len) return std::string(s);
  return std::string(s.substr(OffsetOfChar(s, len - n)));
}

std::string StrNumber(long long n) {
  return n < 0 ? std::to_string(n) : " " + std::to_string(n);
}

std::string NumText(long long n) { return VbTrim(StrNumber(n)); }

std::string FitToWidth(std::string_view text, int width) {
  if (width <= 0) return "";
  const auto n = static_cast<std::size_t>(width);
  return Utf8Left(VbTrim(text) + std::string(n, ' '), n);
}

std::string PadLeft(std::string_view text, int width, char pad) {
  if (width <= 0) return "";
  std::string padded = std::string(static_cast<std::size_t>(width), pad) + VbTrim(text);
  return Utf8Right(padded, static_cast<std::size_t>(width));
}

std::string TextBeforeComma(std::string_view text) {
  std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || comma == 0) return "";
  return std::string(text.substr(0, comma));
}

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      digits = true;
    } else if (c == '.' && !point) {
      number += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  double v = 0;
  return ParseDecimal(number, &v) ? v : 0.0;
}

bool ParseDecimal(std::string_view text, double* value) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return false;
  }
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, *value);
  return r.ec == std::errc() && r.ptr == end;
}

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    // Copy a well-formed multi-byte sequence; replace anything else.
    std::size_t len = c >= 0xF0 && c < 0xF5   ? 4
                      : c >= 0xE0 && c < 0xF0 ? 3
                      : c >= 0xC2 && c < 0xE0 ? 2
                                              : 0;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    bool ok = len != 0 && i + len <= text.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      ok = k == 1 ? b >= low && b <= high : (b & 0xC0) == 0x80;
    }
    if (ok) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out + "\"";
}

}  // namespace xfr
