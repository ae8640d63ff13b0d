// CdxFile: walking a tag in key order and checking a tag's tree. See cdx.h for the contract.
#include "platform/xbase/cdx.h"

#include <string>
#include <unordered_set>

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

}  // namespace xbase
