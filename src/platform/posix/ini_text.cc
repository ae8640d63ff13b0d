#include "platform/posix/ini_text.h"

#include <cstddef>

namespace xfr {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// One line of the file, as offsets into the text.
struct Line {
  enum Kind { kOther, kSection, kKey };
  std::size_t begin = 0;        // first byte of the line
  std::size_t content_end = 0;  // first byte of its line end (or the end of the text)
  std::size_t end = 0;          // first byte of the next line
  Kind kind = kOther;
  std::string_view name;        // section or key name, trimmed
  std::size_t value_begin = 0;  // kKey: first byte after "=" and the blanks that follow it
  std::string_view raw_value;   // kKey: the value, trimmed, quotes not yet stripped
  bool blank = true;            // nothing but blanks
};

// Walks the lines of an INI text, skipping a leading byte-order mark.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text)
      : text_(text), pos_(text.substr(0, kBom.size()) == kBom ? kBom.size() : 0) {}

  bool Next(Line* line) {
    if (pos_ >= text_.size()) return false;
    *line = Line();
    line->begin = pos_;
    std::size_t eol = text_.find_first_of("\r\n", pos_);
    if (eol == std::string_view::npos) eol = text_.size();
    line->content_end = eol;
    if (eol < text_.size()) {
      line->end = (text_[eol] == '\r' && eol + 1 < text_.size() && text_[eol + 1] == '\n')
                      ? eol + 2
                      : eol + 1;
    } else {
      line->end = eol;
    }
    pos_ = line->end;
    Classify(line);
    return true;
  }

 private:
  void Classify(Line* line) const {
    std::string_view content = text_.substr(line->begin, line->content_end - line->begin);
    std::string_view trimmed = Trim(content);
    line->blank = trimmed.empty();
    if (trimmed.empty()) return;
    if (trimmed.front() == '[') {
      std::size_t close = trimmed.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        line->kind = Line::kSection;
        line->name = Trim(trimmed.substr(1, close - 1));
        return;
      }
    }
    std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return;
    line->kind = Line::kKey;
    line->name = Trim(content.substr(0, eq));
    std::size_t v = eq + 1;
    while (v < content.size() && IsBlank(content[v])) ++v;
    line->value_begin = line->begin + v;
    line->raw_value = Trim(content.substr(eq + 1));
  }

  std::string_view text_;
  std::size_t pos_;
};

std::string_view LineEndOf(std::string_view text) {
  std::size_t eol = text.find_first_of("\r\n");
  if (eol == std::string_view::npos) return "\r\n";
  if (text[eol] == '\n') return "\n";
  return (eol + 1 < text.size() && text[eol + 1] == '\n') ? "\r\n" : "\r";
}

std::string_view WrittenValue(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  return value;
}

}  // namespace

std::string IniValueAsRead(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

std::string IniDefaultAsRead(std::string_view default_value) {
  while (!default_value.empty() && IsBlank(default_value.back())) default_value.remove_suffix(1);
  return std::string(default_value);
}

std::optional<std::string> IniLookup(std::string_view text, std::string_view section,
                                     std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  // Lines before the first header form the section "", which is therefore the first of its name.
  bool in_section = section.empty();
  LineScanner scanner(text);
  Line line;
  while (scanner.Next(&line)) {
    if (line.kind == Line::kSection) {
      if (in_section) return std::nullopt;  // the end of the first section of that name
      in_section = SameName(line.name, section);
    } else if (in_section && line.kind == Line::kKey && SameName(line.name, key)) {
      return IniValueAsRead(line.raw_value);
    }
  }
  return std::nullopt;
}

bool IniWritable(std::string_view section, std::string_view key, std::string_view value) {
  auto clean = [](std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
  };
  std::string_view s = Trim(section);
  std::string_view k = Trim(key);
  return !s.empty() && !k.empty() && clean(section) && clean(key) && clean(value) &&
         k.find('=') == std::string_view::npos && k.front() != '[';
}

std::string IniUpdate(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  value = WrittenValue(value);
  const std::string_view eol = LineEndOf(text);

  auto insert_at = [&](std::size_t pos, bool needs_eol, std::string_view lines) {
    std::string out;
    out.reserve(text.size() + lines.size() + 2);
    out.append(text.substr(0, pos));
    if (needs_eol) out.append(eol);
    out.append(lines);
    out.append(text.substr(pos));
    return out;
  };
  std::string key_line = std::string(key) + "=" + std::string(value) + std::string(eol);

  bool in_section = false;
  bool seen_section = false;
  Line last_filled;  // the last non-blank line of the section, header included
  LineScanner scanner(text);
  Line line;
  while (scanner.Next(&line)) {
    if (line.kind == Line::kSection) {
      if (in_section) break;
      if (!seen_section && SameName(line.name, section)) {
        in_section = seen_section = true;
        last_filled = line;
      }
      continue;
    }
    if (!in_section) continue;
    if (line.kind == Line::kKey && SameName(line.name, key)) {
      std::string out;
      out.reserve(text.size() + value.size());
      out.append(text.substr(0, line.value_begin));
      out.append(value);
      out.append(text.substr(line.content_end));
      return out;
    }
    if (!line.blank) last_filled = line;
  }
  if (seen_section) {
    return insert_at(last_filled.end, last_filled.end == last_filled.content_end, key_line);
  }
  std::size_t start = text.substr(0, kBom.size()) == kBom ? kBom.size() : 0;
  bool needs_eol = text.size() > start && text.back() != '\r' && text.back() != '\n';
  return insert_at(text.size(), needs_eol,
                   "[" + std::string(section) + "]" + std::string(eol) + key_line);
}

}  // namespace xfr
