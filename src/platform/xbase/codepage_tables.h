// The code pages FoxPro 2.x marks in DBF byte 29, as tables of the Unicode characters of bytes
// 0x80-0xFF (bytes below 0x80 are ASCII in all of them). Used only by codepage.cc.
#pragma once

namespace xbase {

struct CodePageTable {
  unsigned char mark;    // DBF byte 29
  int number;            // 437, 850, 1252, ...
  const char16_t* high;  // 128 entries for bytes 0x80..0xFF
};

extern const CodePageTable kCodePageTables[];
extern const int kCodePageTableCount;

}  // namespace xbase
