// A builder for small compound indexes with chosen tag shapes (key length, descending, unique,
// collation), for the CDX tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/xbase/cdx_format.h"
#include "platform/xbase/coding.h"

namespace xbase::testing {

struct TagShape {
  std::string name;
  int key_length = 8;
  std::string key_expr = "KEY";
  std::string for_expr;
  bool descending = false;
  bool unique = false;
  std::string collation;  // bytes 494.. of the header; empty = MACHINE
};

inline TagShape Shape(const char* name, int key_length, const char* key_expr = "KEY",
                      const char* for_expr = "") {
  return {name, key_length, key_expr, for_expr, false, false, ""};
}

// A compound index with the given tags, each an empty root leaf, laid out as FoxPro does:
// compound header at 0, the tag directory leaf at 0x400, then per tag a 1024-byte header and
// its root leaf.
inline std::string BuildCdx(const std::vector<TagShape>& shapes) {
  using namespace xbase::cdx;
  const std::uint32_t first_tag = 0x600;
  const std::uint32_t per_tag = kHeaderSize + kPageSize;
  std::string file(first_tag + shapes.size() * per_tag, '\0');
  auto header = [&](std::uint32_t at, std::uint32_t root, int key_length, std::uint8_t options,
                    const TagShape* shape) {
    char* p = file.data() + at;
    EncodeFixed32LE(p, root);
    EncodeFixed16LE(p + 12, static_cast<std::uint16_t>(key_length));
    p[14] = static_cast<char>(options);
    p[15] = 1;
    std::string key = shape ? shape->key_expr : "";
    std::string fr = shape ? shape->for_expr : "";
    std::memcpy(p + 512, key.data(), key.size());
    std::memcpy(p + 512 + key.size() + 1, fr.data(), fr.size());
    EncodeFixed16LE(p + 502, shape && shape->descending ? 1 : 0);
    EncodeFixed16LE(p + 504, static_cast<std::uint16_t>(key.size() + 1));
    EncodeFixed16LE(p + 506, static_cast<std::uint16_t>(fr.size() + 1));
    EncodeFixed16LE(p + 508, 0);
    EncodeFixed16LE(p + 510, static_cast<std::uint16_t>(key.size() + 1));
    if (shape)
      std::memcpy(p + TagHeader::kCollationOffset, shape->collation.data(),
                  std::min<std::size_t>(shape->collation.size(), 8));
  };
  header(0, 0x400, 10, kOptionCompact | kOptionCompound | kOptionStructural, nullptr);
  Node dir;
  dir.offset = 0x400;
  dir.attr = kAttrRoot | kAttrLeaf;
  dir.key_length = 10;
  std::map<std::string, std::uint32_t> names;
  for (std::size_t i = 0; i < shapes.size(); ++i)
    names[shapes[i].name] = static_cast<std::uint32_t>(first_tag + i * per_tag);
  for (const auto& [name, at] : names) {
    std::string key = name;
    key.resize(10, ' ');
    dir.Insert(dir.size(), key, at, 0);
  }
  dir.EncodeTo(' ', file.data() + 0x400);
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    const std::uint32_t at = static_cast<std::uint32_t>(first_tag + i * per_tag);
    std::uint8_t options = kOptionCompact | kOptionCompound;
    if (shapes[i].unique) options |= kOptionUnique;
    if (!shapes[i].for_expr.empty()) options |= kOptionFor;
    header(at, at + kHeaderSize, shapes[i].key_length, options, &shapes[i]);
    Node root;
    root.offset = at + kHeaderSize;
    root.attr = kAttrRoot | kAttrLeaf;
    root.key_length = shapes[i].key_length;
    root.EncodeTo(' ', file.data() + at + kHeaderSize);
  }
  return file;
}

}  // namespace xbase::testing
