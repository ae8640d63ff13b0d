#include "base/json_string.h"

namespace xfr {

namespace {

bool Hex4(std::string_view text, std::size_t* pos, unsigned* code) {
  if (*pos + 4 > text.size()) return false;
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = text[(*pos)++];
    v <<= 4;
    if (c >= '0' && c <= '9') {
      v |= static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      v |= static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      v |= static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
  }
  *code = v;
  return true;
}

void AppendUtf8(unsigned c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
    return;
  }
  const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  *out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
  for (int k = tail - 1; k >= 0; --k) *out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

}  // namespace

const char* ReadJsonString(std::string_view text, std::size_t* pos, std::string* out) {
  if (*pos >= text.size() || text[*pos] != '"') return "'\"' expected";
  ++*pos;
  for (;;) {
    if (*pos >= text.size()) return "unterminated string";
    const char c = text[(*pos)++];
    if (c == '"') return nullptr;
    if (static_cast<unsigned char>(c) < 0x20) return "control character in a string";
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (*pos >= text.size()) return "unterminated string";
    const char e = text[(*pos)++];
    switch (e) {
      case '"':
      case '\\':
      case '/':
        *out += e;
        break;
      case 'b':
        *out += '\b';
        break;
      case 'f':
        *out += '\f';
        break;
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      case 't':
        *out += '\t';
        break;
      case 'u': {
        unsigned code = 0;
        if (!Hex4(text, pos, &code)) return "bad \\u escape";
        if (code >= 0xD800 && code < 0xDC00) {
          unsigned low = 0;
          if (text.substr(*pos, 2) != "\\u") return "lone surrogate";
          *pos += 2;
          if (!Hex4(text, pos, &low)) return "bad \\u escape";
          if (low < 0xDC00 || low > 0xDFFF) return "bad surrogate pair";
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
          return "lone surrogate";
        }
        AppendUtf8(code, out);
        break;
      }
      default:
        return "bad escape";
    }
  }
}

}  // namespace xfr
