#include "platform/xbase/dbf.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/xbase/coding.h"

namespace xbase {
namespace {

std::string Hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xff);
  return buf;
}

// Field names are ASCII letters, digits and '_', in any locale.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

}  // namespace

Status DbfHeader::DecodeFrom(std::string_view in) {
  if (in.size() < kEncodedLength) {
    return Status::Corruption("DBF header: " + std::to_string(in.size()) +
                              " bytes, a header needs 32");
  }
  const char* p = in.data();
  version = static_cast<std::uint8_t>(p[0]);
  year = 1900 + static_cast<std::uint8_t>(p[1]);
  month = static_cast<std::uint8_t>(p[2]);
  day = static_cast<std::uint8_t>(p[3]);
  record_count = DecodeFixed32LE(p + 4);
  header_length = DecodeFixed16LE(p + 8);
  record_length = DecodeFixed16LE(p + 10);
  flags = static_cast<std::uint8_t>(p[28]);
  code_page = static_cast<std::uint8_t>(p[29]);
  return Status::OK();
}

void DbfHeader::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  dst[0] = static_cast<char>(version);
  EncodeCountTo(dst + kCountOffset);
  EncodeFixed16LE(dst + 8, header_length);
  EncodeFixed16LE(dst + 10, record_length);
  dst[28] = static_cast<char>(flags);
  dst[29] = static_cast<char>(code_page);
}

void DbfHeader::EncodeCountTo(char* dst) const {
  dst[0] = static_cast<char>((year - 1900) & 0xff);
  dst[1] = static_cast<char>(month);
  dst[2] = static_cast<char>(day);
  EncodeFixed32LE(dst + 3, record_count);
}

Status FieldDescriptor::DecodeFrom(std::string_view in) {
  if (in.size() < kEncodedLength) return Status::Corruption("DBF field descriptor cut short");
  const char* p = in.data();
  std::size_t n = 0;
  while (n < 11 && p[n] != '\0') ++n;
  name.assign(p, n);
  for (char& c : name) c = AsciiUpper(c);
  type = AsciiUpper(p[11]);
  displacement = DecodeFixed32LE(p + 12);
  length = static_cast<std::uint8_t>(p[16]);
  decimals = static_cast<std::uint8_t>(p[17]);
  flags = static_cast<std::uint8_t>(p[18]);
  return Status::OK();
}

void FieldDescriptor::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  std::memcpy(dst, name.data(), std::min<std::size_t>(name.size(), 10));
  dst[11] = type;
  EncodeFixed32LE(dst + 12, displacement);
  dst[16] = static_cast<char>(length);
  dst[17] = static_cast<char>(decimals);
  dst[18] = static_cast<char>(flags);
}

Status DbfLayout::Decode(std::string_view bytes, DbfLayout* layout) {
  DbfHeader h;
  Status s = h.DecodeFrom(bytes);
  if (!s.ok()) return s;
  if (h.version != 0x03 && h.version != 0xF5) {
    switch (h.version) {
      case 0x83:
      case 0x8B:
      case 0x30:
      case 0x31:
      case 0x32:
      case 0x43:
      case 0x63:
      case 0xFB:
        return Status::NotSupported("DBF version byte " + Hex2(h.version) +
                                    " is not a FoxPro 2.x table");
      default:
        return Status::Corruption("DBF version byte " + Hex2(h.version) + " is not a DBF table");
    }
  }
  if (h.month > 12 || h.day > 31) {
    return Status::Corruption("DBF header: last-update date " + std::to_string(h.month) + "/" +
                              std::to_string(h.day) + " is not a date");
  }
  if (h.header_length < 32 + 32 + 1) {
    return Status::Corruption("DBF header length " + std::to_string(h.header_length) +
                              " is too short for one field");
  }
  if (bytes.size() < h.header_length) {
    return Status::Corruption("DBF header length " + std::to_string(h.header_length) +
                              " exceeds the file's " + std::to_string(bytes.size()) + " bytes");
  }
  if (h.record_length < 2) {
    return Status::Corruption("DBF record length " + std::to_string(h.record_length));
  }
  std::vector<DbfField> fields;
  fields.reserve((h.header_length - 32) / FieldDescriptor::kEncodedLength);
  std::size_t pos = 32;
  int offset = 1;
  bool terminated = false;
  while (pos < h.header_length) {
    if (bytes[pos] == 0x0D) {
      terminated = true;
      break;
    }
    if (pos + FieldDescriptor::kEncodedLength > h.header_length) break;
    FieldDescriptor d;
    s = d.DecodeFrom(bytes.substr(pos, FieldDescriptor::kEncodedLength));
    if (!s.ok()) return s;
    // Named only for a message: every table's open decodes every field.
    auto field = [&] { return "DBF field " + std::to_string(fields.size() + 1); };
    if (d.name.empty()) return Status::Corruption(field() + " has no name");
    for (char c : d.name) {
      if (!NameChar(c)) {
        return Status::Corruption(field() + " name contains byte " + Hex2(c));
      }
    }
    auto where = [&] { return field() + " (" + d.name + ")"; };
    if (d.type < 'A' || d.type > 'Z') {
      return Status::Corruption(where() + " type byte " + Hex2(d.type));
    }
    if (d.length == 0) return Status::Corruption(where() + " has length 0");
    if ((d.type == 'D' && d.length != 8) || (d.type == 'L' && d.length != 1)) {
      return Status::Corruption(where() + " of type " + std::string(1, d.type) + " has length " +
                                std::to_string(d.length));
    }
    if ((d.type == 'N' || d.type == 'F') && d.decimals >= d.length && d.decimals != 0) {
      return Status::Corruption(where() + " has " + std::to_string(d.decimals) +
                                " decimals in width " + std::to_string(d.length));
    }
    DbfField f;
    f.name = d.name;
    f.type = d.type;
    f.offset = offset;
    f.length = d.length;
    f.decimals = (d.type == 'N' || d.type == 'F') ? d.decimals : 0;
    offset += d.length;
    fields.push_back(std::move(f));
    pos += FieldDescriptor::kEncodedLength;
  }
  if (!terminated) {
    return Status::Corruption(
        "DBF header: no 0x0D after the field descriptors within the header "
        "length " +
        std::to_string(h.header_length));
  }
  if (fields.empty()) return Status::Corruption("DBF header has no fields");
  if (offset != h.record_length) {
    return Status::Corruption("DBF record length " + std::to_string(h.record_length) +
                              " in the header, the fields add up to " + std::to_string(offset));
  }
  layout->header_ = h;
  layout->fields_ = std::move(fields);
  return Status::OK();
}

int DbfLayout::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool DbfLayout::has_memo() const {
  for (const auto& f : fields_) {
    if (f.type == 'M') return true;
  }
  return false;
}

std::string_view FieldBytes(std::string_view record, const DbfField& f) {
  if (static_cast<std::size_t>(f.offset + f.length) > record.size()) return {};
  return record.substr(f.offset, f.length);
}

bool ParseNumber(std::string_view bytes, double* value) {
  std::size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\0')) ++i;
  std::string text;
  if (i < bytes.size() && (bytes[i] == '-' || bytes[i] == '+')) text.push_back(bytes[i++]);
  bool digits = false, point = false;
  for (; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      text.push_back(c);
    } else if (c == '.' && !point) {
      point = true;
      text.push_back(c);
    } else {
      break;
    }
  }
  if (!digits) {
    *value = 0;
    // A field of blanks is blank; anything else unreadable reads as zero, as in xBase.
    return !TrimBlanks(bytes).empty();
  }
  if (!ParseDecimal(text, value)) *value = 0;
  return true;
}

bool ValidDate(const DbfDate& d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  int days = kDays[d.month - 1];
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  if (d.month == 2 && leap) days = 29;
  return d.day <= days;
}

bool ParseDate(std::string_view bytes, DbfDate* date) {
  if (bytes.size() != 8) return false;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') return false;
    v[i] = bytes[i] - '0';
  }
  date->year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  date->month = v[4] * 10 + v[5];
  date->day = v[6] * 10 + v[7];
  return ValidDate(*date);
}

std::int64_t JulianDay(const DbfDate& d) {
  // Proleptic Gregorian calendar to Julian day number.
  std::int64_t a = (14 - d.month) / 12;
  std::int64_t y = d.year + 4800 - a;
  std::int64_t m = d.month + 12 * a - 3;
  return d.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

Record::Record(const DbfLayout* layout, const CodePage* code_page)
    : layout_(layout), code_page_(code_page) {
  Clear();
}

void Record::Clear() {
  bytes_.assign(layout_->header().record_length, ' ');
  changed_.assign(layout_->fields().size(), false);
  deleted_changed_ = false;
}

void Record::Assign(std::string_view bytes) {
  bytes_.assign(bytes.data(), bytes.size());
  bytes_.resize(layout_->header().record_length, ' ');
  changed_.assign(layout_->fields().size(), false);
  deleted_changed_ = false;
}

std::string_view Record::Raw(int field) const {
  return FieldBytes(bytes_, layout_->fields()[field]);
}

bool Record::IsBlank(int field) const { return TrimBlanks(Raw(field)).empty(); }

std::string Record::Text(int field) const {
  const DbfField& f = layout_->fields()[field];
  std::string_view raw = Raw(field);
  if (f.type == 'C') {
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
    return code_page_->ToUtf8(raw);
  }
  return code_page_->ToUtf8(TrimBlanks(raw));
}

bool Record::Number(int field, double* v) const { return ParseNumber(Raw(field), v); }

bool Record::Date(int field, DbfDate* d) const { return ParseDate(Raw(field), d); }

bool Record::Logical(int field, bool* v) const {
  std::string_view raw = Raw(field);
  if (raw.empty()) return false;
  switch (raw[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      *v = true;
      return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      *v = false;
      return true;
    default:
      return false;
  }
}

Status Record::Writable(int field, char type_group) const {
  const DbfField& f = layout_->fields()[field];
  if (f.type == 'M') {
    return Status::NotSupported("field " + f.name + " is a memo field; memo text is not written");
  }
  bool ok = false;
  switch (type_group) {
    case 'C':
      ok = f.type == 'C';
      break;
    case 'N':
      ok = f.type == 'N' || f.type == 'F';
      break;
    case 'D':
      ok = f.type == 'D';
      break;
    case 'L':
      ok = f.type == 'L';
      break;
  }
  if (!ok) {
    return Status::InvalidArgument("field " + f.name + " of type " + std::string(1, f.type) +
                                   " cannot take this value");
  }
  return Status::OK();
}

void Record::Put(int field, std::string_view bytes) {
  const DbfField& f = layout_->fields()[field];
  std::memcpy(bytes_.data() + f.offset, bytes.data(), f.length);
  changed_[field] = true;
}

Status Record::SetText(int field, std::string_view utf8) {
  Status s = Writable(field, 'C');
  if (!s.ok()) return s;
  const DbfField& f = layout_->fields()[field];
  std::string b = code_page_->FromUtf8(utf8);
  b.resize(f.length, ' ');
  Put(field, b);
  return Status::OK();
}

Status Record::SetNumber(int field, double v) {
  Status s = Writable(field, 'N');
  if (!s.ok()) return s;
  const DbfField& f = layout_->fields()[field];
  if (!std::isfinite(v)) return Status::InvalidArgument("field " + f.name + ": not a number");
  std::string text = FormatFixed(v, f.decimals, f.length);
  if (static_cast<int>(text.size()) > f.length) {
    return Status::InvalidArgument("field " + f.name + ": " + text + " does not fit N(" +
                                   std::to_string(f.length) + "," + std::to_string(f.decimals) +
                                   ")");
  }
  // "-0" and "-0.00" are written as FoxPro writes zero.
  double back = 0;
  if (ParseNumber(text, &back) && back == 0) text = FormatFixed(0.0, f.decimals, f.length);
  Put(field, text);
  return Status::OK();
}

Status Record::SetDate(int field, const DbfDate& d) {
  Status s = Writable(field, 'D');
  if (!s.ok()) return s;
  if (!ValidDate(d)) {
    return Status::InvalidArgument("field " + layout_->fields()[field].name + ": " +
                                   std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                                   std::to_string(d.day) + " is not a date");
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  Put(field, std::string_view(buf, 8));
  return Status::OK();
}

Status Record::SetLogical(int field, bool v) {
  Status s = Writable(field, 'L');
  if (!s.ok()) return s;
  Put(field, v ? "T" : "F");
  return Status::OK();
}

Status Record::SetBlank(int field) {
  const DbfField& f = layout_->fields()[field];
  if (f.type == 'M') return Writable(field, 'C');
  Put(field, std::string(f.length, ' '));
  return Status::OK();
}

Status Record::SetFromString(int field, std::string_view text) {
  const DbfField& f = layout_->fields()[field];
  std::string_view t = TrimBlanks(text);
  if (f.type == 'C') return SetText(field, text);
  if (f.type == 'M') return Writable(field, 'C');
  if (t.empty()) return SetBlank(field);
  switch (f.type) {
    case 'N':
    case 'F': {
      double v = 0;
      if (!ParseDecimal(t, &v)) {
        return Status::InvalidArgument("field " + f.name + ": \"" + std::string(t) +
                                       "\" is not a number");
      }
      return SetNumber(field, v);
    }
    case 'D': {
      std::string digits;
      for (char c : t) {
        if (c != '-') digits.push_back(c);
      }
      DbfDate d;
      bool dashed = t.size() == 10 && t[4] == '-' && t[7] == '-';
      if ((!dashed && t.size() != 8) || !ParseDate(digits, &d)) {
        return Status::InvalidArgument("field " + f.name + ": \"" + std::string(t) +
                                       "\" is not a date YYYY-MM-DD");
      }
      return SetDate(field, d);
    }
    case 'L':
      if (t.size() == 1) {
        switch (t[0]) {
          case 'T':
          case 't':
          case 'Y':
          case 'y':
            return SetLogical(field, true);
          case 'F':
          case 'f':
          case 'N':
          case 'n':
            return SetLogical(field, false);
        }
      }
      return Status::InvalidArgument("field " + f.name + ": \"" + std::string(t) +
                                     "\" is not a logical T or F");
    default:
      return Status::NotSupported("field " + f.name + " of type " + std::string(1, f.type) +
                                  " is not written");
  }
}

Status Record::SetStored(int field, std::string_view text) {
  const DbfField& f = layout_->fields()[field];
  const std::string bytes = code_page_->FromUtf8(text);
  const std::size_t width = static_cast<std::size_t>(f.length);
  if (bytes.size() > width) {
    return Status::InvalidArgument("field " + f.name + ": \"" + std::string(text) +
                                   "\" is longer than the field");
  }
  const bool right = f.type == 'N' || f.type == 'F' || f.type == 'M';
  const std::string blanks(width - bytes.size(), ' ');
  Put(field, right ? blanks + bytes : bytes + blanks);
  return Status::OK();
}

bool Record::any_changed() const {
  if (deleted_changed_) return true;
  for (bool c : changed_) {
    if (c) return true;
  }
  return false;
}

void Record::ClearChanged() {
  changed_.assign(changed_.size(), false);
  deleted_changed_ = false;
}

void Record::ApplyChangesTo(std::string* target) const {
  target->resize(bytes_.size(), ' ');
  if (deleted_changed_ && !bytes_.empty()) (*target)[0] = bytes_[0];
  for (std::size_t i = 0; i < changed_.size(); ++i) {
    if (!changed_[i]) continue;
    const DbfField& f = layout_->fields()[i];
    std::memcpy(target->data() + f.offset, bytes_.data() + f.offset, f.length);
  }
}

}  // namespace xbase
