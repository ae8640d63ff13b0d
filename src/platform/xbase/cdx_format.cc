// Decoders and encoders for CDX headers and nodes. The byte layouts are in cdx_format.h.
#include "platform/xbase/cdx_format.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/xbase/coding.h"

namespace xbase {
namespace cdx {

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

namespace {

int BitWidth(std::uint64_t v) {
  int bits = 0;
  while (v != 0) {
    ++bits;
    v >>= 1;
  }
  return bits;
}

std::uint64_t DecodeLE(const char* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

void EncodeLE(char* p, int n, std::uint64_t v) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// Length of the run of `trail` bytes at the end of key; eight bytes at a time where it can.
std::size_t TrailCount(std::string_view key, char trail) {
  const std::uint64_t run = 0x0101010101010101ull * static_cast<unsigned char>(trail);
  std::size_t n = key.size();
  while (n >= 8 && DecodeFixed64LE(key.data() + n - 8) == run) n -= 8;
  while (n > 0 && key[n - 1] == trail) --n;
  return key.size() - n;
}

std::size_t SharedPrefix(std::string_view a, std::string_view b) {
  const std::size_t m = std::min(a.size(), b.size());
  std::size_t n = 0;
  for (; n + 8 <= m; n += 8) {
    // In little-endian order the lowest differing bit lies in the first differing byte.
    const std::uint64_t diff = DecodeFixed64LE(a.data() + n) ^ DecodeFixed64LE(b.data() + n);
    if (diff != 0) return n + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
  }
  while (n < m && a[n] == b[n]) ++n;
  return n;
}

// Reads one expression out of the pool: [pos, pos + len) must lie inside it; the text ends at the
// first NUL.
Status PoolString(std::string_view pool, unsigned pos, unsigned len, const std::string& what,
                  const char* name, std::string* out) {
  out->clear();
  if (len == 0) return Status::OK();
  if (pos > pool.size() || len > pool.size() - pos) {
    return Status::Corruption(what + ": " + name + " expression at " + std::to_string(pos) +
                              " length " + std::to_string(len) + " runs past the expression pool");
  }
  std::string_view s = pool.substr(pos, len);
  std::size_t nul = s.find('\0');
  if (nul != std::string_view::npos) s = s.substr(0, nul);
  out->assign(s);
  return Status::OK();
}

}  // namespace

int CompareEntry(std::string_view a, std::uint32_t arec, std::string_view b, std::uint32_t brec) {
  const std::size_t n = std::min(a.size(), b.size());
  int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  if (arec != brec) return arec < brec ? -1 : 1;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// TagHeader

Status TagHeader::DecodeFrom(std::string_view data, const std::string& what, TagHeader* out) {
  if (data.size() < kEncodedLength) {
    return Status::Corruption(what + ": header is " + std::to_string(data.size()) +
                              " bytes, needs " + std::to_string(kEncodedLength));
  }
  const char* p = data.data();
  TagHeader h;
  h.DecodeLinksFrom(p);
  h.key_length = DecodeFixed16LE(p + 12);
  h.options = static_cast<std::uint8_t>(p[14]);
  h.signature = static_cast<std::uint8_t>(p[15]);
  h.descending = DecodeFixed16LE(p + 502) != 0;
  if (h.key_length < 1 || h.key_length > kMaxKeyLength) {
    return Status::Corruption(what + ": key length " + std::to_string(h.key_length) +
                              " outside 1.." + std::to_string(kMaxKeyLength));
  }
  if ((h.options & kOptionCompact) == 0) {
    return Status::NotSupported(what + ": options " + Hex(h.options) +
                                " do not mark a compact index");
  }
  std::string_view pool = data.substr(kPageSize, kPageSize);
  Status s = PoolString(pool, DecodeFixed16LE(p + 508), DecodeFixed16LE(p + 510), what, "key",
                        &h.key_expr);
  if (!s.ok()) return s;
  s = PoolString(pool, DecodeFixed16LE(p + 504), DecodeFixed16LE(p + 506), what, "FOR",
                 &h.for_expr);
  if (!s.ok()) return s;
  // Collation bytes: all zero means plain byte order.
  std::string_view coll = data.substr(kCollationOffset, kCollationLength);
  if (coll.find_first_not_of('\0') != std::string_view::npos) {
    std::string text;
    for (char c : coll) {
      if (c == '\0') break;
      if (c < 0x20 || c > 0x7e) {
        text.clear();
        break;
      }
      text += c;
    }
    if (text.empty()) {
      // Not a name: show the bytes.
      for (char c : coll) {
        char buf[4];
        std::snprintf(buf, sizeof(buf), "%02X", static_cast<unsigned char>(c));
        text += buf;
      }
    }
    h.collation = text;
  }
  *out = std::move(h);
  return Status::OK();
}

void TagHeader::DecodeLinksFrom(const char* src) {
  root = DecodeFixed32LE(src);
  free_list = DecodeFixed32LE(src + 4);
  version = DecodeFixed32BE(src + 8);
}

void TagHeader::EncodeLinksTo(char* dst) const {
  EncodeFixed32LE(dst, root);
  EncodeFixed32LE(dst + 4, free_list);
  EncodeFixed32BE(dst + 8, version);
}

// ---------------------------------------------------------------------------------------------
// LeafLayout

LeafLayout LeafLayout::For(int key_length, std::uint32_t max_recno) {
  LeafLayout l;
  l.count_bits = BitWidth(static_cast<std::uint64_t>(key_length));
  const int need = std::max(1, BitWidth(max_recno));
  for (l.entry_bytes = 3; l.entry_bytes < 8; ++l.entry_bytes) {
    if (l.entry_bytes * 8 - 2 * l.count_bits >= need) break;
  }
  l.rec_bits = std::min(32, l.entry_bytes * 8 - 2 * l.count_bits);
  return l;
}

// ---------------------------------------------------------------------------------------------
// Node

void Node::Insert(std::size_t i, std::string_view key, std::uint32_t recno, std::uint32_t child) {
  keys.insert(i * key_length, key.data(), key_length);
  recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(i), recno);
  if (!is_leaf()) children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), child);
}

void Node::Erase(std::size_t i) {
  keys.erase(i * key_length, key_length);
  recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(i));
  if (!is_leaf()) children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
}

bool Node::SetEntry(std::size_t i, std::string_view k, std::uint32_t recno) {
  if (key(i) == k && recnos[i] == recno) return false;
  keys.replace(i * key_length, key_length, k.data(), key_length);
  recnos[i] = recno;
  return true;
}

void Node::MoveTail(std::size_t from, Node* to) {
  to->keys.append(keys, from * key_length, std::string::npos);
  keys.resize(from * key_length);
  to->recnos.insert(to->recnos.end(), recnos.begin() + static_cast<std::ptrdiff_t>(from),
                    recnos.end());
  recnos.resize(from);
  if (!is_leaf()) {
    to->children.insert(to->children.end(), children.begin() + static_cast<std::ptrdiff_t>(from),
                        children.end());
    children.resize(from);
  }
}

std::size_t Node::LowerBound(std::string_view k, std::uint32_t recno) const {
  std::size_t lo = 0, hi = size();
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (CompareEntry(key(mid), recnos[mid], k, recno) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

namespace {

// The most entries a leaf page can hold (entries take at least 3 bytes).
constexpr std::size_t kMaxLeafEntries = (kPageSize - kLeafHeaderSize) / 3;

LeafLayout LayoutOf(const Node& n) {
  std::uint32_t max_recno = 0;
  for (std::uint32_t r : n.recnos) max_recno = std::max(max_recno, r);
  return LeafLayout::For(n.key_length, max_recno);
}

// A leaf's encoded size; with `dups` and `trails` (room for size() entries), each entry's shared
// and trailing byte counts as well.
std::size_t LeafSize(const Node& n, char trail, const LeafLayout& layout, std::uint8_t* dups,
                     std::uint8_t* trails) {
  std::size_t total = kLeafHeaderSize + n.size() * layout.entry_bytes;
  std::string_view prev;
  for (std::size_t i = 0; i < n.size(); ++i) {
    std::string_view k = n.key(i);
    const std::size_t trl = TrailCount(k, trail);
    const std::size_t dup = i == 0 ? 0 : std::min(SharedPrefix(prev, k), k.size() - trl);
    total += k.size() - trl - dup;
    if (dups != nullptr) {
      dups[i] = static_cast<std::uint8_t>(dup);
      trails[i] = static_cast<std::uint8_t>(trl);
    }
    prev = k;
  }
  return total;
}

}  // namespace

std::size_t Node::EncodedSize(char trail) const {
  if (!is_leaf()) return kInteriorHeaderSize + size() * (key_length + 8);
  return LeafSize(*this, trail, LayoutOf(*this), nullptr, nullptr);
}

bool Node::EncodeTo(char trail, char* page) const {
  // A leaf is sized and laid out in one pass over its keys.
  std::uint8_t dups[kMaxLeafEntries], trails[kMaxLeafEntries];
  LeafLayout l;
  if (is_leaf()) {
    l = LayoutOf(*this);
    if (size() > kMaxLeafEntries || LeafSize(*this, trail, l, dups, trails) > kPageSize) {
      return false;
    }
  } else if (EncodedSize(trail) > kPageSize) {
    return false;
  }
  std::memset(page, 0, kPageSize);
  EncodeFixed16LE(page, attr);
  EncodeFixed16LE(page + 2, static_cast<std::uint16_t>(size()));
  EncodeFixed32LE(page + 4, left);
  EncodeFixed32LE(page + 8, right);
  if (!is_leaf()) {
    char* e = page + kInteriorHeaderSize;
    for (std::size_t i = 0; i < size(); ++i) {
      std::memcpy(e, keys.data() + i * key_length, key_length);
      EncodeFixed32BE(e + key_length, recnos[i]);
      EncodeFixed32BE(e + key_length + 4, children[i]);
      e += key_length + 8;
    }
    return true;
  }
  const std::uint32_t rec_mask =
      l.rec_bits >= 32 ? 0xFFFFFFFFu : ((std::uint32_t{1} << l.rec_bits) - 1);
  const std::uint8_t count_mask = static_cast<std::uint8_t>((1u << l.count_bits) - 1);
  EncodeFixed32LE(page + 14, rec_mask);
  page[18] = static_cast<char>(count_mask);
  page[19] = static_cast<char>(count_mask);
  page[20] = static_cast<char>(l.rec_bits);
  page[21] = static_cast<char>(l.count_bits);
  page[22] = static_cast<char>(l.count_bits);
  page[23] = static_cast<char>(l.entry_bytes);
  std::size_t pos = kPageSize;
  for (std::size_t i = 0; i < size(); ++i) {
    const std::size_t dup = dups[i], trl = trails[i];
    const std::size_t len = key_length - trl - dup;
    pos -= len;
    std::memcpy(page + pos, keys.data() + i * key_length + dup, len);
    const std::uint64_t v = static_cast<std::uint64_t>(recnos[i]) |
                            (static_cast<std::uint64_t>(dup) << l.rec_bits) |
                            (static_cast<std::uint64_t>(trl) << (l.rec_bits + l.count_bits));
    EncodeLE(page + kLeafHeaderSize + i * l.entry_bytes, l.entry_bytes, v);
  }
  const std::size_t table_end = kLeafHeaderSize + size() * l.entry_bytes;
  EncodeFixed16LE(page + 12, static_cast<std::uint16_t>(pos - table_end));
  return true;
}

Status Node::DecodeFrom(std::string_view page, std::uint32_t offset, int key_length, char trail,
                        const std::string& what, Node* out) {
  // Named only for a message: every seek decodes nodes.
  auto where = [&] { return what + " node " + Hex(offset); };
  if (page.size() < kPageSize) {
    return Status::Corruption(where() + ": only " + std::to_string(page.size()) + " bytes");
  }
  const char* p = page.data();
  // Decoded in place, so that a node decoded again and again (a seek's scratch leaf) keeps its
  // buffers.
  Node& n = *out;
  n.keys.clear();
  n.recnos.clear();
  n.children.clear();
  n.offset = offset;
  n.key_length = key_length;
  n.attr = DecodeFixed16LE(p);
  const std::size_t count = DecodeFixed16LE(p + 2);
  n.left = DecodeFixed32LE(p + 4);
  n.right = DecodeFixed32LE(p + 8);
  if ((n.attr & ~(kAttrRoot | kAttrLeaf)) != 0) {
    return Status::Corruption(where() + ": unknown node type " + Hex(n.attr));
  }
  if (!n.is_leaf()) {
    const std::size_t entry = static_cast<std::size_t>(key_length) + 8;
    if (count == 0) return Status::Corruption(where() + ": interior node without keys");
    if (count > (kPageSize - kInteriorHeaderSize) / entry) {
      return Status::Corruption(where() + ": key count " + std::to_string(count) +
                                " exceeds node size");
    }
    n.keys.reserve(count * key_length);
    n.recnos.reserve(count);
    n.children.reserve(count);
    const char* e = p + kInteriorHeaderSize;
    for (std::size_t i = 0; i < count; ++i, e += entry) {
      n.keys.append(e, key_length);
      n.recnos.push_back(DecodeFixed32BE(e + key_length));
      n.children.push_back(DecodeFixed32BE(e + key_length + 4));
    }
    return Status::OK();
  }

  const std::size_t free_bytes = DecodeFixed16LE(p + 12);
  const std::uint32_t rec_mask = DecodeFixed32LE(p + 14);
  const unsigned dup_mask = static_cast<unsigned char>(p[18]);
  const unsigned trl_mask = static_cast<unsigned char>(p[19]);
  const unsigned rec_bits = static_cast<unsigned char>(p[20]);
  const unsigned dup_bits = static_cast<unsigned char>(p[21]);
  const unsigned trl_bits = static_cast<unsigned char>(p[22]);
  const unsigned entry_bytes = static_cast<unsigned char>(p[23]);
  if (entry_bytes < 1 || entry_bytes > 8 || rec_bits > 32 ||
      rec_bits + dup_bits + trl_bits > entry_bytes * 8 || rec_mask == 0 ||
      (rec_bits < 32 && (rec_mask >> rec_bits) != 0) || (dup_bits < 8 && (dup_mask >> dup_bits)) ||
      (trl_bits < 8 && (trl_mask >> trl_bits))) {
    return Status::Corruption(where() + ": inconsistent leaf bit layout (record/dup/trail bits " +
                              std::to_string(rec_bits) + "/" + std::to_string(dup_bits) + "/" +
                              std::to_string(trl_bits) + " in " + std::to_string(entry_bytes) +
                              " bytes)");
  }
  if (count > (kPageSize - kLeafHeaderSize) / entry_bytes) {
    return Status::Corruption(where() + ": key count " + std::to_string(count) +
                              " exceeds node size");
  }
  const std::size_t table_end = kLeafHeaderSize + count * entry_bytes;
  n.keys.reserve(count * key_length);
  n.recnos.reserve(count);
  std::size_t pos = kPageSize;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t v = DecodeLE(p + kLeafHeaderSize + i * entry_bytes, entry_bytes);
    const std::uint32_t recno = static_cast<std::uint32_t>(v & rec_mask);
    const std::size_t dup = (v >> rec_bits) & dup_mask;
    const std::size_t trl = (v >> (rec_bits + dup_bits)) & trl_mask;
    if (i == 0 && dup != 0) {
      return Status::Corruption(where() + ": first key claims " + std::to_string(dup) +
                                " bytes shared with a previous key");
    }
    if (dup + trl > static_cast<std::size_t>(key_length)) {
      return Status::Corruption(where() + ": entry " + std::to_string(i + 1) + " shares " +
                                std::to_string(dup) + " and trails " + std::to_string(trl) +
                                " bytes of a " + std::to_string(key_length) + "-byte key");
    }
    const std::size_t len = key_length - dup - trl;
    if (len > pos - table_end) {
      return Status::Corruption(where() + ": key bytes of entry " + std::to_string(i + 1) +
                                " run into the entry table");
    }
    pos -= len;
    const std::size_t start = n.keys.size();
    if (dup > 0) n.keys.append(n.keys, start - key_length, dup);
    n.keys.append(p + pos, len);
    n.keys.append(trl, trail);
    n.recnos.push_back(recno);
  }
  if (free_bytes != pos - table_end) {
    return Status::Corruption(where() + ": free-space field " + std::to_string(free_bytes) +
                              ", actual free bytes " + std::to_string(pos - table_end));
  }
  return Status::OK();
}

}  // namespace cdx
}  // namespace xbase
