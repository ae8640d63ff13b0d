#include "platform/xbase/codepage.h"

#include <vector>

#include "platform/xbase/codepage_tables.h"

namespace xbase {
namespace {

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 character at s[*i], advancing *i. Malformed input yields U+FFFD for one byte.
char32_t NextUtf8(std::string_view s, std::size_t* i) {
  auto b = static_cast<unsigned char>(s[*i]);
  int extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (b < 0x80) {
    ++*i;
    return b;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, c = b & 0x07, min = 0x10000;
  } else {
    ++*i;
    return 0xFFFD;
  }
  if (*i + extra >= s.size()) {
    ++*i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    auto t = static_cast<unsigned char>(s[*i + k]);
    if ((t & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    c = (c << 6) | (t & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*i;
    return 0xFFFD;
  }
  *i += extra + 1;
  return c;
}

}  // namespace

const CodePage& CodePage::ForMark(std::uint8_t mark) {
  static const std::vector<CodePage>* pages = [] {
    auto* v = new std::vector<CodePage>;
    for (int i = 0; i < kCodePageTableCount; ++i) {
      v->emplace_back(kCodePageTables[i].number, kCodePageTables[i].high);
    }
    return v;
  }();
  static const CodePage unknown(0, nullptr);
  if (mark == 0) mark = 0x03;
  for (int i = 0; i < kCodePageTableCount; ++i) {
    if (kCodePageTables[i].mark == mark) return (*pages)[i];
  }
  return unknown;
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else {
      AppendUtf8(&out, high_ ? high_[b - 0x80] : 0xFFFD);
    }
  }
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = NextUtf8(utf8, &i);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char byte = '?';
    if (high_ && c != 0xFFFD) {
      for (int k = 0; k < 128; ++k) {
        if (high_[k] == c) {
          byte = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
    out.push_back(byte);
  }
  return out;
}

}  // namespace xbase
