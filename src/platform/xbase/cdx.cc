// CdxFile: opening a compound index, its tag headers, the page cache and flushing. Seeks,
// inserts and deletes are in cdx_keys.cc, walks and checks in cdx_walk.cc. See cdx.h for the
// contract and cdx_format.h for the bytes.
#include "platform/xbase/cdx.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/xbase/coding.h"

namespace xbase {

using cdx::Hex;
using cdx::kAttrLeaf;
using cdx::kAttrRoot;
using cdx::kNoPage;
using cdx::kPageSize;
using cdx::Node;

namespace {

constexpr std::size_t kMaxCachedNodes = 2048;  // pages kept between operations (~1-2 MB)
constexpr std::size_t kPrefixLength = 4096;    // read at once when the headers load

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

Status CdxFile::ReadAt(std::uint64_t offset, std::size_t n, char* out, std::size_t* got) {
  if (offset + n <= prefix_.size()) {
    std::memcpy(out, prefix_.data() + offset, n);
    *got = n;
    return Status::OK();
  }
  return file_->ReadAt(offset, n, out, got);
}

Status CdxFile::ReadPage(std::uint32_t offset, const std::string& what, std::string* page) {
  page->resize(kPageSize);
  std::size_t got = 0;
  Status s = ReadAt(offset, kPageSize, page->data(), &got);
  if (!s.ok()) return s;
  if (got != kPageSize) {
    return Status::Corruption(what + ": page " + Hex(offset) + " lies past the end of the file");
  }
  return Status::OK();
}

Status CdxFile::ReadHeader(std::uint32_t offset, const std::string& what, Tag* tag) {
  // The header page and its key-expression pool in one read.
  std::string both(2 * kPageSize, '\0');
  std::size_t got = 0;
  Status s = ReadAt(offset, both.size(), both.data(), &got);
  if (!s.ok()) return s;
  if (got != both.size()) {
    const std::uint32_t short_page = got < kPageSize ? offset : offset + kPageSize;
    return Status::Corruption(what + " header: page " + Hex(short_page) +
                              " lies past the end of the file");
  }
  cdx::TagHeader h;
  s = cdx::TagHeader::DecodeFrom(both, what + " header " + Hex(offset), &h);
  if (!s.ok()) return s;
  both.resize(kPageSize);
  tag->header = std::move(h);
  tag->raw_header = std::move(both);
  tag->header_offset = offset;
  tag->what = what;
  return Status::OK();
}

Status CdxFile::ReadSize(std::uint64_t* out) {
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
  *out = size;
  return Status::OK();
}

Status CdxFile::LoadHeaders() {
  std::uint64_t size = 0;
  Status s = ReadSize(&size);
  if (!s.ok()) return s;
  file_size_ = size;
  disk_size_ = size;
  cache_.clear();
  dirty_.clear();
  freed_.clear();
  // The compound header, the tag directory and the first tag headers usually lie in the first
  // pages of the file: one read takes them, kept until the headers are read.
  struct Forget {
    std::string* prefix;
    ~Forget() { prefix->clear(); }
  } forget{&prefix_};
  prefix_.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, kPrefixLength)), '\0');
  std::size_t got = 0;
  s = file_->ReadAt(0, prefix_.size(), prefix_.data(), &got);
  if (!s.ok()) return s;
  prefix_.resize(got);

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
  if (s.ok()) s = ReadPage(offset, t->what, &page_);
  auto cached = std::make_unique<CachedNode>();
  if (s.ok()) {
    s = Node::DecodeFrom(page_, offset, t->header.key_length, t->trail, t->what, &cached->node);
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
  if (s.ok()) s = ReadPage(offset, tag.what, &page_);
  if (s.ok()) s = Node::DecodeFrom(page_, offset, tag.header.key_length, tag.trail, tag.what, holder);
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
  const std::uint64_t on_disk = disk_size_;
  std::stable_partition(dirty.begin(), dirty.end(),
                        [on_disk](const CachedNode* c) { return c->node.offset >= on_disk; });
  char page[kPageSize];
  for (CachedNode* c : dirty) {
    const Tag& t = *TagAt(c->tag);
    if (!c->node.EncodeTo(t.trail, page)) {
      return Fail(Status::Corruption(t.what + ": node " + Hex(c->node.offset) +
                                     " overflows its page"));
    }
    Status s = file_->WriteAt(c->node.offset, page, kPageSize);
    if (!s.ok()) return Fail(s);
    disk_size_ = std::max<std::uint64_t>(disk_size_, c->node.offset + std::uint64_t{kPageSize});
  }
  Status s;
  for (const auto& [offset, next] : freed_) {
    std::fill(page, page + kPageSize, 0);
    EncodeFixed32LE(page, next);
    s = file_->WriteAt(offset, page, kPageSize);
    if (!s.ok()) return Fail(s);
    disk_size_ = std::max<std::uint64_t>(disk_size_, offset + std::uint64_t{kPageSize});
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
  // Every program that changes the index moves its change counter (and the free list when it
  // takes or gives back pages), so these two decide whether the cache still holds.
  if (DecodeFixed32LE(buf + 4) == directory_.header.free_list &&
      DecodeFixed32BE(buf + 8) == directory_.header.version) {
    return Status::OK();
  }
  // Another program changed the index: any node may have changed, and the cached ones go. The
  // tag directory and the tags' headers, but for their links, cannot: adding, removing or
  // rebuilding a tag takes the table to itself. Only the links are read again, each tag's root
  // among them; the whole headers when the tag directory's root moved all the same, or anything
  // looks wrong (LoadHeaders then names it).
  cache_.clear();
  std::uint64_t size = 0;
  if (DecodeFixed32LE(buf) != directory_.header.root || !ReadSize(&size).ok()) {
    return LoadHeaders();
  }
  file_size_ = disk_size_ = size;
  std::memcpy(directory_.raw_header.data(), buf, sizeof buf);
  directory_.header.DecodeLinksFrom(buf);
  for (Tag& t : tags_) {
    char links[12];
    s = file_->ReadAt(t.header_offset, sizeof links, links, &got);
    if (!s.ok()) return s;
    if (got != sizeof links || !CheckNodePointer(DecodeFixed32LE(links), t, "root").ok()) {
      return LoadHeaders();
    }
    std::memcpy(t.raw_header.data(), links, sizeof links);
    t.header.DecodeLinksFrom(links);
  }
  return Status::OK();
}

}  // namespace xbase
