// The DBF file of a FoxPro 2.x table: the 32-byte header, the 32-byte field descriptors and the
// fixed-length records, with FoxPro's formatting of the field types the engine writes.
//
// Byte layout (all integers little-endian), see doc/dbf_format.md:
//   header      0 version (0x03 plain, 0xF5 with FPT memo)   1-3 last update YY(+1900) MM DD
//               4-7 record count   8-9 header length   10-11 record length
//               28 table flags (bit 0: structural CDX)   29 code page mark
//   descriptor  0-10 name (NUL padded)   11 type   12-15 displacement in the record
//               16 length   17 decimals   18 field flags
//   the descriptors end with 0x0D; the records start at the header length (bytes 8-9, never
//   computed from the descriptors); each record is one flag byte (' ' live, '*' deleted) and the
//   fields; after the last record comes the end marker 0x1A.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/codepage.h"
#include "platform/xbase/status.h"

namespace xbase {

struct DbfHeader {
  static constexpr std::size_t kEncodedLength = 32;
  std::uint8_t version = 0x03;
  int year = 0, month = 0, day = 0;  // last update, full year
  std::uint32_t record_count = 0;
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  std::uint8_t flags = 0;      // byte 28
  std::uint8_t code_page = 0;  // byte 29

  Status DecodeFrom(std::string_view in);
  void EncodeTo(char* dst) const;  // all 32 bytes; reserved bytes zero
  // Bytes 1-7 (date and record count), the only ones an append or edit changes.
  static constexpr std::size_t kCountOffset = 1;
  static constexpr std::size_t kCountLength = 7;
  void EncodeCountTo(char* dst) const;
};

struct FieldDescriptor {
  static constexpr std::size_t kEncodedLength = 32;
  std::string name;  // upper case as stored
  char type = 'C';
  std::uint32_t displacement = 0;
  std::uint8_t length = 0;
  std::uint8_t decimals = 0;
  std::uint8_t flags = 0;

  Status DecodeFrom(std::string_view in);
  void EncodeTo(char* dst) const;
};

struct DbfField {
  std::string name;
  char type = 'C';
  int offset = 0;  // within the record, after the deleted flag byte
  int length = 0;
  int decimals = 0;
};

struct DbfDate {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const DbfDate&, const DbfDate&) = default;
};

// The decoded header of a table: what a reader needs to find fields and records.
class DbfLayout {
 public:
  // Decodes the first bytes of a DBF file (at least the header length, or all the file has).
  static Status Decode(std::string_view bytes, DbfLayout* layout);

  const DbfHeader& header() const { return header_; }
  DbfHeader& mutable_header() { return header_; }
  const std::vector<DbfField>& fields() const { return fields_; }
  // Field index by name, without regard to case; -1 when there is none.
  int FindField(std::string_view name) const;
  bool has_memo() const;
  std::uint64_t RecordOffset(std::uint32_t recno) const {
    return header_.header_length + std::uint64_t{recno - 1} * header_.record_length;
  }
  // Bytes a file with `count` records has: header, records and the end marker.
  std::uint64_t FileLength(std::uint32_t count) const {
    return header_.header_length + std::uint64_t{count} * header_.record_length + 1;
  }

 private:
  DbfHeader header_;
  std::vector<DbfField> fields_;
};

// Reading field values from record bytes (the whole record, flag byte first).
std::string_view FieldBytes(std::string_view record, const DbfField& f);
// xBase reading of a number: leading blanks, sign, digits, point, digits; the rest is ignored.
// False for a blank field.
bool ParseNumber(std::string_view bytes, double* value);
// False for a blank date or one that is not YYYYMMDD.
bool ParseDate(std::string_view bytes, DbfDate* date);
bool ValidDate(const DbfDate& d);
// Days since the start of the Julian period, the number FoxPro keys a date by.
std::int64_t JulianDay(const DbfDate& d);

// A record's bytes with typed access, the edit buffer of appends and edits. It remembers which
// fields were set, so that an edit can be laid over the record as it is on disk when written.
class Record {
 public:
  Record(const DbfLayout* layout, const CodePage* code_page);
  // A blank record: live flag, every field blank.
  void Clear();
  void Assign(std::string_view bytes);
  const std::string& bytes() const { return bytes_; }
  bool deleted() const { return !bytes_.empty() && bytes_[0] == '*'; }
  const DbfLayout& layout() const { return *layout_; }
  const CodePage& code_page() const { return *code_page_; }

  std::string_view Raw(int field) const;
  bool IsBlank(int field) const;
  // Character fields as UTF-8 without trailing blanks; other types as their stored text, trimmed.
  std::string Text(int field) const;
  bool Number(int field, double* v) const;
  bool Date(int field, DbfDate* d) const;
  bool Logical(int field, bool* v) const;

  // Writers, in FoxPro's formatting. Text is cut or blank-padded to the field width in the
  // table's code page; a number that does not fit its width is an InvalidArgument, not stars.
  Status SetText(int field, std::string_view utf8);
  Status SetNumber(int field, double v);
  Status SetDate(int field, const DbfDate& d);
  Status SetLogical(int field, bool v);
  Status SetBlank(int field);
  // Command-line form: C text; N/F decimal text; D YYYY-MM-DD or YYYYMMDD; L T/F/Y/N; "" blank.
  Status SetFromString(int field, std::string_view text);
  // Puts back a field's stored text as Text() gave it, without reading it as a value (a date
  // stored as 00000000 goes back as it was): character fields blank-padded on the right, numbers
  // and memo pointers right-aligned, anything else left-aligned. InvalidArgument when it is
  // longer than the field.
  Status SetStored(int field, std::string_view text);
  // The deleted flag; an edit (Table::Update) carries it over like a field set.
  void SetDeleted(bool deleted) {
    bytes_[0] = deleted ? '*' : ' ';
    deleted_changed_ = true;
  }

  bool changed(int field) const { return changed_[field]; }
  bool any_changed() const;
  void ClearChanged();
  // Copies the fields (and the deleted flag) set since the last ClearChanged onto another
  // record's bytes.
  void ApplyChangesTo(std::string* target) const;

 private:
  Status Writable(int field, char type_group) const;
  void Put(int field, std::string_view bytes);

  const DbfLayout* layout_;
  const CodePage* code_page_;
  std::string bytes_;
  std::vector<bool> changed_;
  bool deleted_changed_ = false;
};

}  // namespace xbase
