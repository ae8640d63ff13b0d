// CdxFile: seeking a key, and inserting and deleting entries with the splits, merges and
// separator updates they bring. See cdx.h for the contract.
#include "platform/xbase/cdx.h"

#include <string>

namespace xbase {

using cdx::Hex;
using cdx::kAttrLeaf;
using cdx::kAttrRoot;
using cdx::kMaxDepth;
using cdx::kNoPage;
using cdx::kPageSize;
using cdx::LastKey;
using cdx::Node;

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

Status CdxFile::Replace(int tag, std::string_view old_key, std::string_view new_key,
                       std::uint32_t recno) {
  Status s = ReplaceImpl(tag, old_key, new_key, recno);
  TrimCache();
  return s;
}

Status CdxFile::ReplaceImpl(int tag, std::string_view old_key, std::string_view new_key,
                            std::uint32_t recno) {
  Tag* t = nullptr;
  Status s = WritableTag(tag, old_key, &t);
  if (s.ok()) s = WritableTag(tag, new_key, &t);
  if (!s.ok()) return s;
  if (!t->info->unique) {
    // Most edits move a key among its neighbours: when the old entry is not its leaf's last and
    // the new one sorts between two others of that leaf, no other page changes.
    std::vector<PathStep> path;
    Node* leaf = nullptr;
    s = Descend(tag, old_key, recno, &path, &leaf);
    if (!s.ok()) return s;
    const std::size_t pos = leaf->LowerBound(old_key, recno);
    if (pos + 1 < leaf->size() && leaf->key(pos) == old_key && leaf->recnos[pos] == recno) {
      leaf->Erase(pos);
      const std::size_t at = leaf->LowerBound(new_key, recno);
      if (at > 0 && at < leaf->size()) {
        leaf->Insert(at, new_key, recno, 0);
        if (Fits(*t, *leaf)) {
          MarkDirty(leaf);
          return Status::OK();
        }
        leaf->Erase(at);
      }
      leaf->Insert(pos, old_key, recno, 0);
    }
  }
  s = DeleteImpl(tag, old_key, recno);
  if (s.IsNotFound()) s = Status::OK();
  if (!s.ok()) return s;
  return InsertImpl(tag, new_key, recno);
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
    // Every entry takes at least 3 bytes: most nodes are plainly too full, without sizing them.
    if (parent->size() > 1 && node->size() * 3 < kPageSize / 2 &&
        node->EncodedSize(t->trail) < kPageSize / 2) {
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

}  // namespace xbase
