// CdxFile: seeks, walks and maintains the trees of a compound index. See cdx.h for the contract
// and cdx_format.h for the bytes.
#include "platform/xbase/cdx.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_set>

#include "platform/xbase/coding.h"

namespace xbase {

using cdx::kAttrLeaf;
using cdx::kAttrRoot;
using cdx::kNoPage;
using cdx::kPageSize;
using cdx::Node;

namespace {

constexpr std::size_t kMaxDepth = 32;          // far beyond any real tree (2^32 records)
constexpr std::size_t kMaxCachedNodes = 2048;  // pages kept between operations (~1-2 MB)

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string_view LastKey(const Node& n) { return n.key(n.size() - 1); }

}  // namespace

CdxFile::CdxFile(Env* env, std::shared_ptr<File> file, std::string path, bool read_only)
    : env_(env),
      file_(std::move(file)),
      path_(std::move(path)),
      file_name_(BaseName(path_)),
      read_only_(read_only) {}

CdxFile::~CdxFile() {
  // Changes not flushed by the owner still reach the file unless a change failed.
  if (error_.ok() && !read_only_) Flush();
}

Status CdxFile::Open(Env* env, const std::string& path, bool read_only,
                     std::unique_ptr<CdxFile>* result) {
  std::unique_ptr<File> file;
  Status s = env->OpenFile(path, read_only, &file);
  if (!s.ok()) return s;
  return Open(env, std::move(file), path, read_only, result);
}

Status CdxFile::Open(Env* env, std::shared_ptr<File> file, const std::string& path,
                     bool read_only, std::unique_ptr<CdxFile>* result) {
  std::unique_ptr<CdxFile> cdx(new CdxFile(env, std::move(file), path, read_only));
  Status s = cdx->LoadHeaders();
  if (!s.ok()) return s;
  *result = std::move(cdx);
  return Status::OK();
}

// ---------------------------------------------------------------------------------------------
// Headers

Status CdxFile::ReadPage(std::uint32_t offset, const std::string& what, std::string* page) {
  page->resize(kPageSize);
  std::size_t got = 0;
  Status s = file_->ReadAt(offset, kPageSize, page->data(), &got);
  if (!s.ok()) return s;
  if (got != kPageSize) {
    return Status::Corruption(what + ": page " + Hex(offset) + " lies past the end of the file");
  }
  return Status::OK();
}

Status CdxFile::ReadHeader(std::uint32_t offset, const std::string& what, Tag* tag) {
  std::string first, pool;
  Status s = ReadPage(offset, what + " header", &first);
  if (s.ok()) s = ReadPage(offset + kPageSize, what + " header", &pool);
  if (!s.ok()) return s;
  cdx::TagHeader h;
  s = cdx::TagHeader::DecodeFrom(first + pool, what + " header " + Hex(offset), &h);
  if (!s.ok()) return s;
  tag->header = std::move(h);
  tag->raw_header = std::move(first);
  tag->header_offset = offset;
  tag->what = what;
  return Status::OK();
}

Status CdxFile::LoadHeaders() {
  std::uint64_t size = 0;
  Status s = file_->Size(&size);
  if (!s.ok()) return s;
  if (size < cdx::kHeaderSize) {
    return Status::Corruption(file_name_ + ": " + std::to_string(size) +
                              " bytes, too short for a compound index header");
  }
  if (size % kPageSize != 0) {
    return Status::Corruption(file_name_ + ": size " + std::to_string(size) +
                              " is not a multiple of " + std::to_string(kPageSize));
  }
  if (size > 0xFFFFFE00u) {
    return Status::Corruption(file_name_ + ": size " + std::to_string(size) +
                              " exceeds what 32-bit page offsets address");
  }
  file_size_ = size;
  cache_.clear();
  dirty_.clear();
  freed_.clear();

  Tag dir;
  s = ReadHeader(0, file_name_ + " tag directory", &dir);
  if (!s.ok()) return s;
  if ((dir.header.options & cdx::kOptionCompound) == 0) {
    return Status::NotSupported(file_name_ + ": not a compound index (options " +
                                Hex(dir.header.options) + ")");
  }
  dir.trail = ' ';
  directory_ = std::move(dir);
  header_pages_ = {0, kPageSize};
  s = CheckNodePointer(directory_.header.root, directory_, "root");
  if (!s.ok()) return s;

  struct Entry {
    std::string name;
    std::uint32_t offset;
  };
  std::vector<Entry> entries;
  s = WalkImpl(-1, false, [&](std::string_view key, std::uint32_t offset) {
    std::string name(key);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    entries.push_back({name, offset});
    return true;
  });
  if (!s.ok()) return s;
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.offset < b.offset; });

  std::vector<Tag> tags(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const std::string what = file_name_ + " tag " + e.name;
    if (e.name.empty()) return Status::Corruption(file_name_ + ": tag directory holds a blank name");
    if (e.offset % kPageSize != 0 || e.offset < cdx::kHeaderSize ||
        e.offset > file_size_ - cdx::kHeaderSize) {
      return Status::Corruption(what + ": header offset " + Hex(e.offset) +
                                " is not a page inside the file");
    }
    if (i > 0 && e.offset < entries[i - 1].offset + cdx::kHeaderSize) {
      return Status::Corruption(what + ": header " + Hex(e.offset) + " overlaps the header of tag " +
                                entries[i - 1].name);
    }
    s = ReadHeader(e.offset, what, &tags[i]);
    if (!s.ok()) return s;
    header_pages_.push_back(e.offset);
    header_pages_.push_back(e.offset + kPageSize);
  }
  std::sort(header_pages_.begin(), header_pages_.end());

  std::vector<TagInfo> infos(entries.size());
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const cdx::TagHeader& h = tags[i].header;
    TagInfo& info = infos[i];
    info.name = entries[i].name;
    info.key_expr = h.key_expr;
    info.for_expr = h.for_expr;
    info.key_length = h.key_length;
    info.descending = h.descending;
    info.unique = (h.options & cdx::kOptionUnique) != 0;
    info.machine_collation = h.machine_collation();
    info.collation = h.collation;
    info.header_offset = tags[i].header_offset;
    info.options = h.options;
    s = CheckNodePointer(h.root, tags[i], "root");
    if (!s.ok()) return s;
    // Keep the key type chosen before a reload.
    for (const Tag& old : tags_) {
      if (old.header_offset == tags[i].header_offset) tags[i].trail = old.trail;
    }
  }
  infos_ = std::move(infos);
  tags_ = std::move(tags);
  for (std::size_t i = 0; i < tags_.size(); ++i) tags_[i].info = &infos_[i];
  return Status::OK();
}

Status CdxFile::CheckNodePointer(std::uint32_t offset, const Tag& tag, const char* role) const {
  if (offset % kPageSize != 0 || offset < kPageSize || offset > file_size_ - kPageSize ||
      std::binary_search(header_pages_.begin(), header_pages_.end(), offset) ||
      freed_.count(offset) != 0) {
    return Status::Corruption(tag.what + ": " + role + " pointer " + Hex(offset) +
                              " is not a node page inside the file");
  }
  return Status::OK();
}

int CdxFile::FindTag(std::string_view name) const {
  for (std::size_t i = 0; i < infos_.size(); ++i) {
    const std::string& n = infos_[i].name;
    if (n.size() != name.size()) continue;
    bool same = true;
    for (std::size_t j = 0; j < n.size() && same; ++j) {
      same = std::toupper(static_cast<unsigned char>(n[j])) ==
             std::toupper(static_cast<unsigned char>(name[j]));
    }
    if (same) return static_cast<int>(i);
  }
  return -1;
}

void CdxFile::SetKeyType(int tag, char type) {
  Tag* t = TagAt(tag);
  if (t == nullptr) return;
  const char trail = type == 'C' ? ' ' : '\0';
  if (t->trail == trail) return;
  t->trail = trail;
  // Clean pages of this tag were decoded with the other trailing byte.
  for (auto it = cache_.begin(); it != cache_.end();) {
    if (it->second->tag == tag && !it->second->dirty) {
      it = cache_.erase(it);
    } else {
      ++it;
    }
  }
}

CdxFile::Tag* CdxFile::TagAt(int tag) {
  if (tag == -1) return &directory_;
  if (tag < 0 || static_cast<std::size_t>(tag) >= tags_.size()) return nullptr;
  return &tags_[tag];
}

// ---------------------------------------------------------------------------------------------
// Pages

Status CdxFile::Load(int tag, std::uint32_t offset, Node** node) {
  Tag* t = TagAt(tag);
  auto it = cache_.find(offset);
  if (it != cache_.end()) {
    if (it->second->tag != tag) {
      return Status::Corruption(t->what + ": node " + Hex(offset) + " also belongs to tag " +
                                TagAt(it->second->tag)->what);
    }
    *node = &it->second->node;
    return Status::OK();
  }
  Status s = CheckNodePointer(offset, *t, "node");
  std::string page;
  if (s.ok()) s = ReadPage(offset, t->what, &page);
  auto cached = std::make_unique<CachedNode>();
  if (s.ok()) {
    s = Node::DecodeFrom(page, offset, t->header.key_length, t->trail, t->what, &cached->node);
  }
  if (!s.ok()) return s;
  cached->tag = tag;
  *node = &cached->node;
  cache_.emplace(offset, std::move(cached));
  return Status::OK();
}

Status CdxFile::Peek(const Tag& tag, int tag_index, std::uint32_t offset, Node* holder,
                     const Node** node) {
  auto it = cache_.find(offset);
  if (it != cache_.end()) {
    if (it->second->tag != tag_index) {
      return Status::Corruption(tag.what + ": node " + Hex(offset) +
                                " also belongs to another tag");
    }
    *node = &it->second->node;
    return Status::OK();
  }
  Status s = CheckNodePointer(offset, tag, "node");
  std::string page;
  if (s.ok()) s = ReadPage(offset, tag.what, &page);
  if (s.ok()) s = Node::DecodeFrom(page, offset, tag.header.key_length, tag.trail, tag.what, holder);
  if (!s.ok()) return s;
  *node = holder;
  return Status::OK();
}

void CdxFile::MarkDirty(Node* node) {
  auto it = cache_.find(node->offset);
  if (it != cache_.end() && !it->second->dirty) {
    it->second->dirty = true;
    dirty_.push_back(node->offset);
  }
}

bool CdxFile::Fits(const Tag& tag, const Node& node) const {
  return node.EncodedSize(tag.trail) <= kPageSize;
}

Status CdxFile::AllocPage(int tag, std::uint16_t attr, Node** node) {
  std::uint32_t offset;
  std::uint32_t head = directory_.header.free_list;
  if (head != 0 && head != kNoPage) {
    std::uint32_t next;
    auto f = freed_.find(head);
    if (f != freed_.end()) {
      next = f->second;
      freed_.erase(f);
    } else {
      if (head % kPageSize != 0 || head < cdx::kHeaderSize || head > file_size_ - kPageSize ||
          std::binary_search(header_pages_.begin(), header_pages_.end(), head) ||
          cache_.count(head) != 0) {
        return Status::Corruption(file_name_ + ": free list points to " + Hex(head) +
                                  ", not a free page");
      }
      char buf[4];
      std::size_t got = 0;
      Status s = file_->ReadAt(head, 4, buf, &got);
      if (!s.ok()) return s;
      if (got != 4) return Status::Corruption(file_name_ + ": free page " + Hex(head) + " unreadable");
      next = DecodeFixed32LE(buf);
    }
    if (next != 0 && next != kNoPage &&
        (next % kPageSize != 0 || next < cdx::kHeaderSize || next > file_size_ - kPageSize)) {
      return Status::Corruption(file_name_ + ": free page " + Hex(head) + " links to " + Hex(next) +
                                ", outside the file");
    }
    directory_.header.free_list = next;
    directory_.header_dirty = true;
    offset = head;
  } else {
    if (file_size_ > 0xFFFFFE00u - kPageSize) {
      return Status::IOError(file_name_ + ": index file would outgrow 32-bit page offsets");
    }
    offset = static_cast<std::uint32_t>(file_size_);
    file_size_ += kPageSize;
  }
  auto cached = std::make_unique<CachedNode>();
  cached->tag = tag;
  cached->dirty = true;
  dirty_.push_back(offset);
  cached->node.offset = offset;
  cached->node.attr = attr;
  cached->node.key_length = TagAt(tag)->header.key_length;
  *node = &cached->node;
  cache_[offset] = std::move(cached);
  return Status::OK();
}

Status CdxFile::FreePage(std::uint32_t offset) {
  cache_.erase(offset);
  freed_[offset] = directory_.header.free_list;
  directory_.header.free_list = offset;
  directory_.header_dirty = true;
  return Status::OK();
}

Status CdxFile::Unlink(int tag, Node* node) {
  Node* n = nullptr;
  if (node->left != kNoPage) {
    Status s = Load(tag, node->left, &n);
    if (!s.ok()) return s;
    n->right = node->right;
    MarkDirty(n);
  }
  if (node->right != kNoPage) {
    Status s = Load(tag, node->right, &n);
    if (!s.ok()) return s;
    n->left = node->left;
    MarkDirty(n);
  }
  return Status::OK();
}

Status CdxFile::Split(int tag, Node* node, bool append, Node** right) {
  const Tag& t = *TagAt(tag);
  const std::size_t n = node->size();
  // Split point: both halves must fit. Appends at the right edge keep the left page full so
  // that a table filled in key order gets dense pages; anything else splits in the middle.
  std::vector<std::size_t> order;
  if (append) {
    for (std::size_t m = n - 1; m >= 1; --m) order.push_back(m);
  } else {
    const std::size_t mid = n / 2;
    for (std::size_t d = 0; d < n; ++d) {
      if (mid + d >= 1 && mid + d <= n - 1) order.push_back(mid + d);
      if (d > 0 && mid >= d + 1) order.push_back(mid - d);
    }
  }
  std::size_t split = 0;
  for (std::size_t m : order) {
    Node lo = *node;
    Node hi;
    hi.attr = node->attr;
    hi.key_length = node->key_length;
    lo.MoveTail(m, &hi);
    if (Fits(t, lo) && Fits(t, hi)) {
      split = m;
      break;
    }
  }
  if (split == 0) return Status::Corruption(t.what + ": node " + Hex(node->offset) + " cannot be split");

  Node* r = nullptr;
  Status s = AllocPage(tag, static_cast<std::uint16_t>(node->attr & ~kAttrRoot), &r);
  if (!s.ok()) return s;
  if (node->right != kNoPage) {
    Node* old_right = nullptr;
    s = Load(tag, node->right, &old_right);
    if (!s.ok()) return s;
    old_right->left = r->offset;
    MarkDirty(old_right);
  }
  node->MoveTail(split, r);
  r->left = node->offset;
  r->right = node->right;
  node->right = r->offset;
  MarkDirty(node);
  *right = r;
  return Status::OK();
}

Status CdxFile::Fail(Status s) {
  if (error_.ok()) error_ = s;
  // Forget every unwritten page and re-read the headers so that reads see the file as it is.
  cache_.clear();
  dirty_.clear();
  freed_.clear();
  directory_.header_dirty = false;
  for (Tag& t : tags_) t.header_dirty = false;
  LoadHeaders();
  return s;
}

void CdxFile::TrimCache() {
  if (cache_.size() <= kMaxCachedNodes) return;
  // Clean leaves go first; interior nodes only when they alone fill the cache.
  for (bool leaves : {true, false}) {
    for (auto it = cache_.begin(); it != cache_.end();) {
      if (!it->second->dirty && it->second->node.is_leaf() == leaves) {
        it = cache_.erase(it);
      } else {
        ++it;
      }
    }
    if (cache_.size() <= kMaxCachedNodes / 2) return;
  }
}

// ---------------------------------------------------------------------------------------------
// Seek

Status CdxFile::Descend(int tag, std::string_view key, std::uint32_t recno,
                        std::vector<PathStep>* path, Node** leaf) {
  Tag* t = TagAt(tag);
  Node* node = nullptr;
  Status s = Load(tag, t->header.root, &node);
  if (!s.ok()) return s;
  if (!node->is_root()) {
    return Status::Corruption(t->what + ": root node " + Hex(node->offset) +
                              " lacks the root flag");
  }
  path->clear();
  while (!node->is_leaf()) {
    if (path->size() >= kMaxDepth) {
      return Status::Corruption(t->what + ": tree deeper than " + std::to_string(kMaxDepth) +
                                " levels");
    }
    std::size_t i = node->LowerBound(key, recno);
    if (i == node->size()) i = node->size() - 1;
    path->push_back({node, i});
    Node* child = nullptr;
    s = Load(tag, node->children[i], &child);
    if (!s.ok()) return s;
    if (child->is_root()) {
      return Status::Corruption(t->what + ": node " + Hex(child->offset) + " under " +
                                Hex(node->offset) + " carries the root flag");
    }
    node = child;
  }
  *leaf = node;
  return Status::OK();
}

Status CdxFile::LoadForRead(int tag, std::uint32_t offset, const Node** node) {
  auto it = cache_.find(offset);
  if (it != cache_.end() && it->second->tag == tag) {
    *node = &it->second->node;
    return Status::OK();
  }
  const Node* peeked = nullptr;
  Status s = Peek(*TagAt(tag), tag, offset, &scratch_, &peeked);
  if (!s.ok()) return s;
  if (!scratch_.is_leaf()) {
    // Interior nodes are few and on every path: keep them.
    auto cached = std::make_unique<CachedNode>();
    cached->node = std::move(scratch_);
    cached->tag = tag;
    *node = &cached->node;
    cache_.emplace(offset, std::move(cached));
    return Status::OK();
  }
  *node = &scratch_;
  return Status::OK();
}

Status CdxFile::SeekImpl(int tag, std::string_view key, std::uint32_t recno, bool* found,
                         std::string* found_key, std::uint32_t* found_recno) {
  *found = false;
  const Tag* t = TagAt(tag);
  // One root-to-leaf path. Leaves read only for a seek are decoded into scratch space rather
  // than cached, so that random seeks over a big tag keep the interior nodes in the cache.
  const Node* node = nullptr;
  Status s = LoadForRead(tag, t->header.root, &node);
  if (!s.ok()) return s;
  if (!node->is_root()) {
    return Status::Corruption(t->what + ": root node " + Hex(node->offset) +
                              " lacks the root flag");
  }
  for (std::size_t depth = 0; !node->is_leaf(); ++depth) {
    if (depth >= kMaxDepth) {
      return Status::Corruption(t->what + ": tree deeper than " + std::to_string(kMaxDepth) +
                                " levels");
    }
    std::size_t i = node->LowerBound(key, recno);
    if (i == node->size()) i = node->size() - 1;
    const std::uint32_t parent = node->offset;
    s = LoadForRead(tag, node->children[i], &node);
    if (!s.ok()) return s;
    if (node->is_root()) {
      return Status::Corruption(t->what + ": node " + Hex(node->offset) + " under " +
                                Hex(parent) + " carries the root flag");
    }
  }
  std::size_t pos = node->LowerBound(key, recno);
  // An interior key may be an upper bound rather than the last key below it (other engines
  // write it so): the first entry at or after key can then be in the next leaf.
  for (std::size_t hops = 0; pos == node->size(); ++hops) {
    if (node->right == kNoPage) return Status::OK();
    if (hops > file_size_ / kPageSize) return Status::Corruption(t->what + ": leaf sibling links loop");
    const std::uint32_t from = node->offset;
    s = LoadForRead(tag, node->right, &node);
    if (!s.ok()) return s;
    if (!node->is_leaf()) {
      return Status::Corruption(t->what + ": leaf " + Hex(from) + " links to interior node " +
                                Hex(node->offset));
    }
    pos = node->LowerBound(key, recno);
  }
  *found = true;
  if (found_key != nullptr) found_key->assign(node->key(pos));
  *found_recno = node->recnos[pos];
  return Status::OK();
}

Status CdxFile::SeekExact(int tag, std::string_view key, std::uint32_t from_recno, bool* found,
                          std::uint32_t* recno) {
  *found = false;
  Tag* t = TagAt(tag);
  if (t == nullptr || tag < 0) return Status::InvalidArgument("no tag number " + std::to_string(tag));
  if (key.size() != static_cast<std::size_t>(t->header.key_length)) {
    return Status::InvalidArgument(t->what + ": key of " + std::to_string(key.size()) +
                                   " bytes, tag keys have " +
                                   std::to_string(t->header.key_length));
  }
  std::string got;
  bool any = false;
  Status s = SeekImpl(tag, key, from_recno, &any, &got, recno);
  TrimCache();
  if (s.ok()) *found = any && got == key;
  return s;
}

Status CdxFile::Seek(int tag, std::string_view key, bool* found, std::uint32_t* recno) {
  std::uint32_t r = 0;
  Status s = SeekExact(tag, key, 0, found, &r);
  if (s.ok() && *found) *recno = r;
  return s;
}

Status CdxFile::Contains(int tag, std::string_view key, std::uint32_t recno, bool* found) {
  std::uint32_t r = 0;
  Status s = SeekExact(tag, key, recno, found, &r);
  *found = *found && r == recno;
  return s;
}

Status CdxFile::SeekGE(int tag, std::string_view key, bool* found, std::string* found_key,
                       std::uint32_t* recno) {
  *found = false;
  Tag* t = TagAt(tag);
  if (t == nullptr || tag < 0) return Status::InvalidArgument("no tag number " + std::to_string(tag));
  if (key.size() != static_cast<std::size_t>(t->header.key_length)) {
    return Status::InvalidArgument(t->what + ": key of " + std::to_string(key.size()) +
                                   " bytes, tag keys have " +
                                   std::to_string(t->header.key_length));
  }
  Status s = SeekImpl(tag, key, 0, found, found_key, recno);
  TrimCache();
  return s;
}

// ---------------------------------------------------------------------------------------------
// Insert and delete

Status CdxFile::WritableTag(int tag, std::string_view key, Tag** out) {
  if (!error_.ok()) return error_;
  Tag* t = TagAt(tag);
  if (t == nullptr || tag < 0) return Status::InvalidArgument("no tag number " + std::to_string(tag));
  if (read_only_) return Status::InvalidArgument(file_name_ + " is open read-only");
  if (!t->info->machine_collation) {
    return Status::NotSupported(t->what + ": collation " + t->info->collation +
                                " cannot be maintained (only MACHINE)");
  }
  if (key.size() != static_cast<std::size_t>(t->header.key_length)) {
    return Status::InvalidArgument(t->what + ": key of " + std::to_string(key.size()) +
                                   " bytes, tag keys have " +
                                   std::to_string(t->header.key_length));
  }
  *out = t;
  return Status::OK();
}

Status CdxFile::Insert(int tag, std::string_view key, std::uint32_t recno) {
  Status s = InsertImpl(tag, key, recno);
  TrimCache();
  return s;
}

Status CdxFile::InsertImpl(int tag, std::string_view key, std::uint32_t recno) {
  Tag* t = nullptr;
  Status s = WritableTag(tag, key, &t);
  if (!s.ok()) return s;
  if (recno == 0) return Status::InvalidArgument(t->what + ": record number 0");
  if (t->info->unique) {
    bool found = false;
    std::string got;
    std::uint32_t r = 0;
    s = SeekImpl(tag, key, 0, &found, &got, &r);
    if (!s.ok()) return s;
    if (found && got == key) return Status::OK();  // the first record with the key stays
  }
  std::vector<PathStep> path;
  Node* leaf = nullptr;
  s = Descend(tag, key, recno, &path, &leaf);
  if (!s.ok()) return s;
  std::size_t pos = leaf->LowerBound(key, recno);
  if (pos < leaf->size() && leaf->key(pos) == key && leaf->recnos[pos] == recno) {
    return Status::Duplicate(t->what + ": already holds record " + std::to_string(recno) +
                             " under this key");
  }
  leaf->Insert(pos, key, recno, 0);
  MarkDirty(leaf);

  bool append = leaf->right == kNoPage && pos + 1 == leaf->size();
  Node* node = leaf;
  for (std::size_t level = path.size();; --level) {
    Node* right = nullptr;
    if (!Fits(*t, *node)) {
      s = Split(tag, node, append, &right);
      if (!s.ok()) return Fail(s);
    }
    if (level == 0) {
      if (right != nullptr) {
        Node* root = nullptr;
        s = AllocPage(tag, kAttrRoot, &root);
        if (!s.ok()) return Fail(s);
        node->attr &= static_cast<std::uint16_t>(~kAttrRoot);
        right->attr &= static_cast<std::uint16_t>(~kAttrRoot);
        root->Insert(0, LastKey(*node), node->recnos.back(), node->offset);
        root->Insert(1, LastKey(*right), right->recnos.back(), right->offset);
        t->header.root = root->offset;
        t->header_dirty = true;
      }
      break;
    }
    PathStep& up = path[level - 1];
    bool changed = up.node->SetEntry(up.index, LastKey(*node), node->recnos.back());
    if (right != nullptr) {
      up.node->Insert(up.index + 1, LastKey(*right), right->recnos.back(), right->offset);
      changed = true;
    }
    if (!changed) break;
    MarkDirty(up.node);
    append = append && up.node->right == kNoPage && up.index + 2 == up.node->size();
    node = up.node;
  }
  return Status::OK();
}

Status CdxFile::Delete(int tag, std::string_view key, std::uint32_t recno) {
  Status s = DeleteImpl(tag, key, recno);
  TrimCache();
  return s;
}

Status CdxFile::DeleteImpl(int tag, std::string_view key, std::uint32_t recno) {
  Tag* t = nullptr;
  Status s = WritableTag(tag, key, &t);
  if (!s.ok()) return s;
  std::vector<PathStep> path;
  Node* leaf = nullptr;
  s = Descend(tag, key, recno, &path, &leaf);
  if (!s.ok()) return s;
  std::size_t pos = leaf->LowerBound(key, recno);
  if (pos == leaf->size() || leaf->key(pos) != key || leaf->recnos[pos] != recno) {
    return Status::NotFound(t->what + ": no entry for record " + std::to_string(recno) +
                            " under this key");
  }
  leaf->Erase(pos);
  MarkDirty(leaf);

  Node* node = leaf;
  for (std::size_t level = path.size();; --level) {
    if (level == 0) {
      // node is the root.
      if (!node->is_leaf() && node->size() == 0) {
        node->attr = kAttrRoot | kAttrLeaf;
        node->children.clear();
        node->left = node->right = kNoPage;
        MarkDirty(node);
      }
      while (!node->is_leaf() && node->size() == 1) {
        Node* child = nullptr;
        s = Load(tag, node->children[0], &child);
        if (!s.ok()) return Fail(s);
        child->attr |= kAttrRoot;
        child->left = child->right = kNoPage;
        MarkDirty(child);
        t->header.root = child->offset;
        t->header_dirty = true;
        FreePage(node->offset);
        node = child;
      }
      break;
    }
    PathStep& up = path[level - 1];
    Node* parent = up.node;
    const std::size_t i = up.index;
    if (node->size() == 0) {
      s = Unlink(tag, node);
      if (!s.ok()) return Fail(s);
      FreePage(node->offset);
      parent->Erase(i);
      MarkDirty(parent);
      node = parent;
      continue;
    }
    if (parent->size() > 1 && node->EncodedSize(t->trail) < kPageSize / 2) {
      // Merge with a neighbour under the same parent when both fit in one page.
      const std::size_t j = i + 1 < parent->size() ? i : i - 1;
      Node* a = nullptr;
      Node* b = nullptr;
      s = Load(tag, parent->children[j], &a);
      if (s.ok()) s = Load(tag, parent->children[j + 1], &b);
      if (!s.ok()) return Fail(s);
      if (a->is_leaf() == b->is_leaf() && a->right == b->offset && b->left == a->offset) {
        Node merged = *a;
        Node copy = *b;
        copy.MoveTail(0, &merged);
        if (Fits(*t, merged)) {
          if (b->right != kNoPage) {
            Node* after = nullptr;
            s = Load(tag, b->right, &after);
            if (!s.ok()) return Fail(s);
            after->left = a->offset;
            MarkDirty(after);
          }
          b->MoveTail(0, a);
          a->right = b->right;
          MarkDirty(a);
          FreePage(b->offset);
          parent->children[j + 1] = a->offset;
          parent->Erase(j);
          parent->SetEntry(j, LastKey(*a), a->recnos.back());
          MarkDirty(parent);
          node = parent;
          continue;
        }
      }
    }
    if (!parent->SetEntry(i, LastKey(*node), node->recnos.back())) break;
    MarkDirty(parent);
    node = parent;
  }
  return Status::OK();
}

// ---------------------------------------------------------------------------------------------
// Walk and check

Status CdxFile::WalkImpl(int tag, bool reverse,
                         const std::function<bool(std::string_view, std::uint32_t)>& visit) {
  const Tag* t = TagAt(tag);
  struct Frame {
    Node holder;
    const Node* node = nullptr;
    std::size_t next = 0;
  };
  std::vector<std::unique_ptr<Frame>> stack;
  std::unordered_set<std::uint32_t> seen;
  auto push = [&](std::uint32_t offset, bool root) -> Status {
    if (!seen.insert(offset).second) {
      return Status::Corruption(t->what + ": node " + Hex(offset) + " is reached twice");
    }
    if (stack.size() >= kMaxDepth) {
      return Status::Corruption(t->what + ": tree deeper than " + std::to_string(kMaxDepth) +
                                " levels");
    }
    auto f = std::make_unique<Frame>();
    Status s = Peek(*t, tag, offset, &f->holder, &f->node);
    if (!s.ok()) return s;
    if (f->node->is_root() != root) {
      return Status::Corruption(t->what + ": node " + Hex(offset) +
                                (root ? " is the root but lacks the root flag"
                                      : " carries the root flag below the root"));
    }
    stack.push_back(std::move(f));
    return Status::OK();
  };
  Status s = push(t->header.root, true);
  if (!s.ok()) return s;
  while (!stack.empty()) {
    Frame& f = *stack.back();
    const Node& n = *f.node;
    if (n.is_leaf()) {
      for (std::size_t k = 0; k < n.size(); ++k) {
        const std::size_t i = reverse ? n.size() - 1 - k : k;
        if (!visit(n.key(i), n.recnos[i])) return Status::OK();
      }
      stack.pop_back();
      continue;
    }
    if (f.next == n.size()) {
      stack.pop_back();
      continue;
    }
    const std::size_t i = reverse ? n.size() - 1 - f.next : f.next;
    ++f.next;
    s = push(n.children[i], false);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status CdxFile::Walk(int tag,
                     const std::function<bool(std::string_view key, std::uint32_t recno)>& visit) {
  Tag* t = TagAt(tag);
  if (t == nullptr || tag < 0) return Status::InvalidArgument("no tag number " + std::to_string(tag));
  return WalkImpl(tag, t->header.descending, visit);
}

Status CdxFile::Count(int tag, std::uint64_t* count) {
  *count = 0;
  return Walk(tag, [count](std::string_view, std::uint32_t) {
    ++*count;
    return true;
  });
}

Status CdxFile::CheckImpl(int tag) {
  const Tag* t = TagAt(tag);
  const bool unique = t->info != nullptr && t->info->unique;
  std::unordered_set<std::uint32_t> seen;
  std::vector<std::vector<const Node*>> levels;  // nodes per level in key order (links check)
  std::vector<std::unique_ptr<Node>> holders;     // keeps uncached nodes alive for the link check
  int leaf_depth = -1;
  bool have_prev = false;
  std::string prev_key;
  std::uint32_t prev_rec = 0;

  struct Range {
    bool empty = true;
    std::string first_key, last_key;
    std::uint32_t first_rec = 0, last_rec = 0;
  };
  std::function<Status(std::uint32_t, std::size_t, Range*)> visit =
      [&](std::uint32_t offset, std::size_t depth, Range* range) -> Status {
    if (depth >= kMaxDepth) {
      return Status::Corruption(t->what + ": tree deeper than " + std::to_string(kMaxDepth) +
                                " levels");
    }
    if (!seen.insert(offset).second) {
      return Status::Corruption(t->what + ": node " + Hex(offset) + " is used twice");
    }
    auto holder = std::make_unique<Node>();
    const Node* n = nullptr;
    Status s = Peek(*t, tag, offset, holder.get(), &n);
    if (!s.ok()) return s;
    if (n == holder.get()) holders.push_back(std::move(holder));
    const std::string where = t->what + " node " + Hex(offset);
    if (n->is_root() != (depth == 0)) {
      return Status::Corruption(where + (depth == 0 ? ": root lacks the root flag"
                                                    : ": root flag below the root"));
    }
    if (levels.size() <= depth) levels.resize(depth + 1);
    levels[depth].push_back(n);
    if (n->EncodedSize(t->trail) > kPageSize) {
      return Status::Corruption(where + ": contents exceed a page");
    }
    if (n->is_leaf()) {
      if (leaf_depth == -1) leaf_depth = static_cast<int>(depth);
      if (leaf_depth != static_cast<int>(depth)) {
        return Status::Corruption(where + ": leaf at depth " + std::to_string(depth + 1) +
                                  ", other leaves at " + std::to_string(leaf_depth + 1));
      }
      if (n->size() == 0 && depth != 0) return Status::Corruption(where + ": empty leaf");
      for (std::size_t i = 0; i < n->size(); ++i) {
        std::string_view k = n->key(i);
        const std::uint32_t r = n->recnos[i];
        if (r == 0) return Status::Corruption(where + ": entry " + std::to_string(i + 1) + " has record 0");
        if (have_prev) {
          const int c = cdx::CompareEntry(prev_key, prev_rec, k, r);
          if (c >= 0) {
            return Status::Corruption(where + ": entry " + std::to_string(i + 1) + " (record " +
                                      std::to_string(r) + ") is out of order");
          }
          if (unique && prev_key == k) {
            return Status::Corruption(where + ": unique tag holds key twice (records " +
                                      std::to_string(prev_rec) + " and " + std::to_string(r) + ")");
          }
        }
        if (range->empty) {
          range->empty = false;
          range->first_key.assign(k);
          range->first_rec = r;
        }
        range->last_key.assign(k);
        range->last_rec = r;
        prev_key.assign(k);
        prev_rec = r;
        have_prev = true;
      }
      return Status::OK();
    }
    std::string before_key;
    std::uint32_t before_rec = 0;
    bool have_before = false;
    for (std::size_t i = 0; i < n->size(); ++i) {
      Range sub;
      s = visit(n->children[i], depth + 1, &sub);
      if (!s.ok()) return s;
      if (sub.empty) return Status::Corruption(where + ": child " + Hex(n->children[i]) + " is empty");
      if (cdx::CompareEntry(sub.last_key, sub.last_rec, n->key(i), n->recnos[i]) > 0) {
        return Status::Corruption(where + ": entry " + std::to_string(i + 1) +
                                  " is below the last key of child " + Hex(n->children[i]));
      }
      if (have_before &&
          cdx::CompareEntry(sub.first_key, sub.first_rec, before_key, before_rec) <= 0) {
        return Status::Corruption(where + ": child " + Hex(n->children[i]) +
                                  " starts at or below the previous entry");
      }
      before_key.assign(n->key(i));
      before_rec = n->recnos[i];
      have_before = true;
      if (range->empty) {
        range->empty = false;
        range->first_key = sub.first_key;
        range->first_rec = sub.first_rec;
      }
      range->last_key = sub.last_key;
      range->last_rec = sub.last_rec;
    }
    return Status::OK();
  };
  Range all;
  Status s = visit(t->header.root, 0, &all);
  if (!s.ok()) return s;
  for (const auto& level : levels) {
    for (std::size_t i = 0; i < level.size(); ++i) {
      const std::uint32_t want_left = i == 0 ? kNoPage : level[i - 1]->offset;
      const std::uint32_t want_right = i + 1 == level.size() ? kNoPage : level[i + 1]->offset;
      // Leaves must be chained exactly (FoxPro skips along them). Interior links are kept by
      // this engine, but a node whose links were never set (-1) is tolerated there.
      const bool leaf = level[i]->is_leaf();
      const bool left_ok = level[i]->left == want_left || (!leaf && level[i]->left == kNoPage);
      const bool right_ok = level[i]->right == want_right || (!leaf && level[i]->right == kNoPage);
      if (!left_ok || !right_ok) {
        return Status::Corruption(t->what + " node " + Hex(level[i]->offset) + ": sibling links (" +
                                  Hex(level[i]->left) + ", " + Hex(level[i]->right) +
                                  "), expected (" + Hex(want_left) + ", " + Hex(want_right) + ")");
      }
    }
  }
  return Status::OK();
}

Status CdxFile::Check(int tag, std::string* problem) {
  problem->clear();
  Tag* t = TagAt(tag);
  if (t == nullptr || tag < 0) return Status::InvalidArgument("no tag number " + std::to_string(tag));
  Status s = CheckImpl(tag);
  if (s.IsCorruption()) *problem = s.message();
  return s;
}

// ---------------------------------------------------------------------------------------------
// Flush

Status CdxFile::Flush() {
  if (!error_.ok()) return error_;
  if (read_only_) return Status::OK();
  std::sort(dirty_.begin(), dirty_.end());
  dirty_.erase(std::unique(dirty_.begin(), dirty_.end()), dirty_.end());
  std::vector<CachedNode*> dirty;
  for (std::uint32_t offset : dirty_) {
    auto it = cache_.find(offset);
    if (it != cache_.end() && it->second->dirty) dirty.push_back(it->second.get());
  }
  bool headers = directory_.header_dirty;
  for (const Tag& t : tags_) headers = headers || t.header_dirty;
  if (dirty.empty() && freed_.empty() && !headers) {
    dirty_.clear();
    return Status::OK();
  }

  // Pages nothing on disk points to yet go first, in file order, then the changed pages, then
  // freed pages, then the tag headers that name new roots, and last the compound header with
  // the free-list head and the change counter.
  std::sort(dirty.begin(), dirty.end(), [](const CachedNode* a, const CachedNode* b) {
    return a->node.offset < b->node.offset;
  });
  std::uint64_t on_disk = 0;
  Status s = file_->Size(&on_disk);
  if (!s.ok()) return Fail(s);
  std::stable_partition(dirty.begin(), dirty.end(),
                        [on_disk](const CachedNode* c) { return c->node.offset >= on_disk; });
  char page[kPageSize];
  for (CachedNode* c : dirty) {
    const Tag& t = *TagAt(c->tag);
    if (!Fits(t, c->node)) {
      return Fail(Status::Corruption(t.what + ": node " + Hex(c->node.offset) +
                                     " overflows its page"));
    }
    c->node.EncodeTo(t.trail, page);
    s = file_->WriteAt(c->node.offset, page, kPageSize);
    if (!s.ok()) return Fail(s);
  }
  for (const auto& [offset, next] : freed_) {
    std::fill(page, page + kPageSize, 0);
    EncodeFixed32LE(page, next);
    s = file_->WriteAt(offset, page, kPageSize);
    if (!s.ok()) return Fail(s);
  }
  for (Tag& t : tags_) {
    if (!t.header_dirty) continue;
    t.header.EncodeLinksTo(t.raw_header.data());
    s = file_->WriteAt(t.header_offset, t.raw_header.data(), 12);
    if (!s.ok()) return Fail(s);
  }
  ++directory_.header.version;
  directory_.header.EncodeLinksTo(directory_.raw_header.data());
  s = file_->WriteAt(0, directory_.raw_header.data(), 12);
  if (!s.ok()) return Fail(s);

  for (CachedNode* c : dirty) c->dirty = false;
  dirty_.clear();
  freed_.clear();
  directory_.header_dirty = false;
  for (Tag& t : tags_) t.header_dirty = false;
  TrimCache();
  return Status::OK();
}

Status CdxFile::Sync() {
  Status s = Flush();
  if (!s.ok()) return s;
  if (read_only_) return Status::OK();
  return file_->Sync();
}

Status CdxFile::Refresh() {
  if (!dirty_.empty() || !freed_.empty()) {
    return Status::InvalidArgument(file_name_ + ": refresh with unflushed changes");
  }
  char buf[12];
  std::size_t got = 0;
  Status s = file_->ReadAt(0, sizeof(buf), buf, &got);
  if (!s.ok()) return s;
  if (got != sizeof(buf)) return Status::Corruption(file_name_ + ": compound header is gone");
  std::uint64_t size = 0;
  s = file_->Size(&size);
  if (!s.ok()) return s;
  if (DecodeFixed32LE(buf + 4) == directory_.header.free_list &&
      DecodeFixed32BE(buf + 8) == directory_.header.version && size == file_size_) {
    return Status::OK();
  }
  cache_.clear();
  return LoadHeaders();
}

}  // namespace xbase
