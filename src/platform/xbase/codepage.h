// CodePage: conversion between a table's one-byte code page (the code page mark of DBF byte 29)
// and the program's UTF-8. A character the code page cannot hold becomes "?", so one character
// is always one byte and a field's width is never exceeded by a conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xbase {

class CodePage {
 public:
  // The code page marked by DBF byte 29. A table without a mark (0) is read as Windows-1252,
  // the code page of the workstations that write these tables. An unknown mark gives a page that
  // passes ASCII and turns every other byte into U+FFFD on reading and "?" on writing.
  static const CodePage& ForMark(std::uint8_t mark);

  int number() const { return number_; }  // 437, 850, 1252, ...; 0 for an unknown mark
  std::string ToUtf8(std::string_view bytes) const;
  std::string FromUtf8(std::string_view utf8) const;

  CodePage(int number, const char16_t* high) : number_(number), high_(high) {}

 private:
  int number_;
  const char16_t* high_;  // 128 characters for bytes 0x80..0xFF; null for ASCII only
};

}  // namespace xbase
