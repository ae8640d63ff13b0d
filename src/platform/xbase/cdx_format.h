// The on-disk pieces of a FoxPro 2.x compact compound index (.CDX), each a small type with a
// decoder that checks every length before it reads and an encoder. CdxFile (cdx.h) builds the
// tree operations on top of these; nothing else should need them. doc/cdx_format.md describes
// the layout in prose.
//
// A CDX file is a sequence of 512-byte pages. Page 0-1 is the compound header, whose tree (a
// "tag directory") holds one key per tag: the tag name, blank-padded to 10 bytes, with the
// offset of the tag's own 1024-byte header in place of a record number. Each tag header points
// to the root of that tag's B-tree of interior and compact leaf nodes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/status.h"

namespace xbase {
namespace cdx {

constexpr std::uint32_t kPageSize = 512;
constexpr std::uint32_t kHeaderSize = 1024;  // a tag header: fields page + expression pool page
constexpr int kMaxKeyLength = 240;
constexpr std::uint32_t kNoPage = 0xFFFFFFFFu;  // "no sibling" in node headers
constexpr std::size_t kMaxDepth = 32;           // far beyond any real tree (2^32 records)

// Index option bits (tag header byte 14).
constexpr std::uint8_t kOptionUnique = 0x01;
constexpr std::uint8_t kOptionFor = 0x08;
constexpr std::uint8_t kOptionCompact = 0x20;
constexpr std::uint8_t kOptionCompound = 0x40;
constexpr std::uint8_t kOptionStructural = 0x80;

// Node attribute bits (node bytes 0-1).
constexpr std::uint16_t kAttrRoot = 0x0001;
constexpr std::uint16_t kAttrLeaf = 0x0002;

constexpr std::size_t kInteriorHeaderSize = 12;
constexpr std::size_t kLeafHeaderSize = 24;

// A tag header (also the compound header at offset 0, whose keys are tag names).
//
//   0   u32 LE  root node offset
//   4   u32 LE  head of the free-page list (0 or 0xFFFFFFFF: empty); used in the compound header
//   8   u32 BE  change counter; other engines compare it to drop cached pages
//  12   u16 LE  key length (1..240)
//  14   u8      options: 0x01 unique, 0x08 FOR clause, 0x20 compact, 0x40 compound,
//               0x80 structural (compound header only)
//  15   u8      signature (1)
// 494   8 bytes collation: all zero (or "MACHINE") for plain byte order, which is all that
//               FoxPro 2.x and the fixtures write for MACHINE tags. Anything else (a national
//               sequence name, a case-folding flag of later engines) is taken as a collation
//               this engine cannot maintain.
// 502   u16 LE  1 = descending
// 504   u16 LE  FOR expression offset in the pool;  506 u16 LE its length (with its NUL)
// 508   u16 LE  key expression offset in the pool;  510 u16 LE its length (with its NUL)
// 512   512 bytes expression pool
struct TagHeader {
  static constexpr std::size_t kEncodedLength = kHeaderSize;
  static constexpr std::size_t kCollationOffset = 494;
  static constexpr std::size_t kCollationLength = 8;

  std::uint32_t root = 0;
  std::uint32_t free_list = 0;
  std::uint32_t version = 0;
  int key_length = 0;
  std::uint8_t options = 0;
  std::uint8_t signature = 0;
  bool descending = false;
  std::string key_expr;
  std::string for_expr;
  std::string collation;  // printable form of bytes 494-501; empty when all zero

  bool machine_collation() const { return collation.empty() || collation == "MACHINE"; }

  // what: how to name this header in messages ("PROPERTY.CDX tag FILE_NUM header 0x600").
  static Status DecodeFrom(std::string_view data, const std::string& what, TagHeader* out);
  // Writes root, free list and change counter into the first 12 bytes of an encoded header; the
  // other bytes (expressions, reserved areas other engines fill) stay as they are on disk.
  void EncodeLinksTo(char* dst) const;
  // Reads those 12 bytes back (another program moved them).
  void DecodeLinksFrom(const char* src);
};

// One node of a tag's tree, decoded. Keys are kept whole (key_length bytes each, trailing
// compression undone) in one flat buffer.
//
// Interior node:                       Compact leaf node:
//   0  u16 LE attr (1 root, 0 index)     0  u16 LE attr (2 leaf, 3 root leaf)
//   2  u16 LE key count                  2  u16 LE key count
//   4  u32 LE left sibling or -1         4  u32 LE left sibling or -1
//   8  u32 LE right sibling or -1        8  u32 LE right sibling or -1
//  12  entries: key, u32 BE recno,      12  u16 LE free bytes
//      u32 BE child offset; the key     14  u32 LE record number mask
//      is the last key of the child     18  u8 dup mask, 19 u8 trail mask, 20 u8 recno bits,
//                                       21  u8 dup bits, 22 u8 trail bits, 23 u8 entry bytes
//                                       24  entries of `entry bytes` each, a little-endian
//                                           number: recno | dup << recbits | trail << (recbits +
//                                           dupbits); the key bytes that are neither shared with
//                                           the previous key (dup) nor trailing blanks/NULs
//                                           (trail) are stacked from the end of the page down.
struct Node {
  std::uint32_t offset = 0;
  std::uint16_t attr = 0;
  std::uint32_t left = kNoPage;
  std::uint32_t right = kNoPage;
  int key_length = 0;
  std::string keys;                     // size() * key_length bytes
  std::vector<std::uint32_t> recnos;
  std::vector<std::uint32_t> children;  // interior nodes only

  bool is_leaf() const { return (attr & kAttrLeaf) != 0; }
  bool is_root() const { return (attr & kAttrRoot) != 0; }
  std::size_t size() const { return recnos.size(); }
  std::string_view key(std::size_t i) const {
    return std::string_view(keys).substr(i * key_length, key_length);
  }

  void Insert(std::size_t i, std::string_view key, std::uint32_t recno, std::uint32_t child);
  void Erase(std::size_t i);
  // Sets entry i's key and recno; false when they were already these.
  bool SetEntry(std::size_t i, std::string_view key, std::uint32_t recno);
  // Moves entries [from, size()) to the end of *to.
  void MoveTail(std::size_t from, Node* to);
  // First entry not below (key, recno) in (key bytes, recno) order.
  std::size_t LowerBound(std::string_view key, std::uint32_t recno) const;

  // Bytes the node needs on disk; more than kPageSize means it must be split.
  std::size_t EncodedSize(char trail) const;
  // Writes a whole page; false (the page left undefined) when the node needs more than one.
  bool EncodeTo(char trail, char* page) const;
  // what names the node in messages ("PROPERTY.CDX tag CLI_NUM"). On an error *out is left
  // half decoded.
  static Status DecodeFrom(std::string_view page, std::uint32_t offset, int key_length, char trail,
                           const std::string& what, Node* out);
};

// Leaf bit layout chosen for a node: dup and trail counts get the bits that hold the key length,
// the record number the rest of the smallest entry size (at least 3 bytes) that holds the
// largest record number in the node, as FoxPro lays its leaves out.
struct LeafLayout {
  int rec_bits = 0;
  int count_bits = 0;  // dup bits == trail bits
  int entry_bytes = 0;
  static LeafLayout For(int key_length, std::uint32_t max_recno);
};

inline std::string_view LastKey(const Node& n) { return n.key(n.size() - 1); }

// "0x1a00": offsets and bit fields in messages.
std::string Hex(std::uint64_t v);

// Compares (key, recno) pairs in MACHINE order: key bytes unsigned, then record number.
int CompareEntry(std::string_view a, std::uint32_t arec, std::string_view b, std::uint32_t brec);

}  // namespace cdx
}  // namespace xbase
