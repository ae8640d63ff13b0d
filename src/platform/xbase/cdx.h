// CdxFile: a FoxPro 2.x structural compound index (.CDX) opened for seeking, walking and keeping
// in step with its table. The table layer (table.h) owns one per table; it evaluates each tag's
// key expression and FOR clause and hands this class the encoded key bytes.
//
// Keys are exactly key_length bytes: character keys blank-padded, numeric and date keys in
// FoxPro's 8-byte ordered form, logical keys "T"/"F". Entries are kept in MACHINE order (key
// bytes unsigned, then ascending record number). A descending tag is stored in the same order on
// disk (the header flag only reverses the walk), so Insert/Delete/Seek treat both alike and Walk
// reverses. A unique tag holds each key once: inserting a key that is already there is a
// successful no-op, as in FoxPro (the first record with the key stays indexed).
//
// Changes are made to cached pages and written by Flush(). Pages go to the end of the file
// (512-byte growth) or come off the free list in the compound header; pages freed by deletes go
// back onto it. A leaf or interior node that no longer fits is split, a node left empty is
// unlinked and freed, a node that shrinks below half a page is merged with a neighbour under
// the same parent when the two fit in one page, and a root with a single child is replaced by
// that child. Every Flush that writes bumps the change counter of the compound header (bytes
// 8-11, big-endian), which FoxPro and other engines compare to drop their cached pages.
//
// Errors: kNotFound (no such file or tag), kCorruption (a header or node that does not decode,
// with the offset in the message, e.g. "PROPERTY.CDX tag FILE_NUM node 0x4400: key count 300
// exceeds node size"), kNotSupported (not a compact compound index; a write to a tag with a
// collation other than MACHINE), kInvalidArgument (wrong key length, read-only), kIOError.
// After a failed write operation the object keeps its first error: later changes and Flush
// return it and nothing more is written (unflushed changes of the failed operation are dropped).
//
// Locking is the caller's business: take FoxPro's index lock, call Refresh() to notice what
// another program changed, make the changes, Flush(), unlock. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xbase/cdx_format.h"
#include "platform/xbase/env.h"
#include "platform/xbase/status.h"

namespace xbase {

struct TagInfo {
  std::string name;      // as stored in the tag directory, trailing blanks removed
  std::string key_expr;  // as stored (FoxPro keeps the case it was typed in)
  std::string for_expr;  // empty when the tag has no FOR clause
  int key_length = 0;
  bool descending = false;
  bool unique = false;
  bool machine_collation = true;  // false: the table layer must refuse writes
  std::string collation;          // what the header holds when not MACHINE
  std::uint32_t header_offset = 0;
  std::uint8_t options = 0;
};

class CdxFile {
 public:
  ~CdxFile();
  CdxFile(const CdxFile&) = delete;
  CdxFile& operator=(const CdxFile&) = delete;

  // Reads the compound header, the tag directory and every tag header; does not read the trees.
  static Status Open(Env* env, const std::string& path, bool read_only,
                     std::unique_ptr<CdxFile>* result);
  // The same on a file the caller has open already (and may lock through meanwhile).
  static Status Open(Env* env, std::shared_ptr<File> file, const std::string& path,
                     bool read_only, std::unique_ptr<CdxFile>* result);

  // Tags in creation order (ascending header offset, which is FoxPro's TAG() numbering).
  const std::vector<TagInfo>& tags() const { return infos_; }
  // Case-insensitive; -1 when there is no such tag.
  int FindTag(std::string_view name) const;

  // The type of the tag's key: 'C' (the default) compresses trailing blanks, every other type
  // trailing NULs. REQUIRES: called before the tag is read or changed, or after Flush().
  void SetKeyType(int tag, char type);

  // First entry (lowest record number) whose key equals key exactly.
  Status Seek(int tag, std::string_view key, bool* found, std::uint32_t* recno);
  // First entry at or after key (in stored order); *found false past the end.
  Status SeekGE(int tag, std::string_view key, bool* found, std::string* found_key,
                std::uint32_t* recno);
  // Whether the tag holds exactly the entry (key, recno).
  Status Contains(int tag, std::string_view key, std::uint32_t recno, bool* found);
  Status Insert(int tag, std::string_view key, std::uint32_t recno);
  // kNotFound when the tag has no such entry.
  Status Delete(int tag, std::string_view key, std::uint32_t recno);
  // Moves a record's entry from old_key to new_key in a tag that is not unique: Delete then
  // Insert, done within the entry's leaf when the new key sorts between two others of it. A
  // missing old entry is not an error (the new one puts the record right).
  Status Replace(int tag, std::string_view old_key, std::string_view new_key, std::uint32_t recno);
  // Every entry in index order (reversed for descending tags); stops when visit returns false.
  Status Walk(int tag, const std::function<bool(std::string_view key, std::uint32_t recno)>& visit);
  // Structural check of one tag: node headers and bit layouts, one root, leaves at one depth,
  // entries in order and unique where the tag is, each interior key equal to or above the last
  // key under it and below the first key of the next child, leaf sibling links exact (interior
  // ones right where set), no page used twice. OK with problem cleared when consistent;
  // kCorruption with *problem set to the first fault otherwise.
  Status Check(int tag, std::string* problem);
  // Number of entries in a tag (walks the leaves).
  Status Count(int tag, std::uint64_t* count);

  // Writes every changed page, the tag headers and the compound header.
  Status Flush();
  // Flush() and then the file's Sync().
  Status Sync();
  // Re-reads the compound header's free-list head and change counter; when another program has
  // changed the index since we last looked, drops every cached page and re-reads what of the
  // headers can have changed: the file's size and the tags' roots (the whole headers when the
  // tag directory moved). REQUIRES: no unflushed changes.
  Status Refresh();

  // The first error of a failed change, or OK.
  const Status& status() const { return error_; }

 private:
  struct Tag {
    TagInfo* info = nullptr;  // nullptr for the tag directory
    std::string what;         // "PROPERTY.CDX tag FILE_NUM"
    cdx::TagHeader header;
    std::string raw_header;   // the first page of the header as on disk
    std::uint32_t header_offset = 0;
    char trail = ' ';
    bool header_dirty = false;
  };
  struct CachedNode {
    cdx::Node node;
    int tag = 0;
    bool dirty = false;
  };
  struct PathStep {
    cdx::Node* node;
    std::size_t index;
  };

  CdxFile(Env* env, std::shared_ptr<File> file, std::string path, bool read_only);

  // The file's size, checked to be whole pages that 32-bit offsets address.
  Status ReadSize(std::uint64_t* size);
  Status LoadHeaders();
  Status ReadHeader(std::uint32_t offset, const std::string& what, Tag* tag);
  // Reads from prefix_ when it holds the bytes, else from the file.
  Status ReadAt(std::uint64_t offset, std::size_t n, char* out, std::size_t* got);
  Status ReadPage(std::uint32_t offset, const std::string& what, std::string* page);
  Status CheckNodePointer(std::uint32_t offset, const Tag& tag, const char* role) const;
  Tag* TagAt(int tag);
  Status WritableTag(int tag, std::string_view key, Tag** out);

  // Cached node for a tree change or a seek.
  Status Load(int tag, std::uint32_t offset, cdx::Node** node);
  // Node for a walk: the cached copy when there is one, else decoded into *holder.
  Status Peek(const Tag& tag, int tag_index, std::uint32_t offset, cdx::Node* holder,
              const cdx::Node** node);
  // Node for a seek: cached when interior, else decoded into scratch_ (valid until the next call).
  Status LoadForRead(int tag, std::uint32_t offset, const cdx::Node** node);
  Status Descend(int tag, std::string_view key, std::uint32_t recno, std::vector<PathStep>* path,
                 cdx::Node** leaf);
  // The first entry at or after (key, from_recno); *found when its key is `key`.
  Status SeekExact(int tag, std::string_view key, std::uint32_t from_recno, bool* found,
                   std::uint32_t* recno);
  Status SeekImpl(int tag, std::string_view key, std::uint32_t recno, bool* found,
                  std::string* found_key, std::uint32_t* found_recno);
  Status InsertImpl(int tag, std::string_view key, std::uint32_t recno);
  Status DeleteImpl(int tag, std::string_view key, std::uint32_t recno);
  Status ReplaceImpl(int tag, std::string_view old_key, std::string_view new_key,
                     std::uint32_t recno);
  Status WalkImpl(int tag, bool reverse,
                  const std::function<bool(std::string_view, std::uint32_t)>& visit);
  Status CheckImpl(int tag);

  Status AllocPage(int tag, std::uint16_t attr, cdx::Node** node);
  Status FreePage(std::uint32_t offset);
  void MarkDirty(cdx::Node* node);
  bool Fits(const Tag& tag, const cdx::Node& node) const;
  // Splits *node; the upper half goes to a new right sibling.
  Status Split(int tag, cdx::Node* node, bool append, cdx::Node** right);
  Status Unlink(int tag, cdx::Node* node);

  // After a failed change: forget unwritten pages and keep the error.
  Status Fail(Status s);
  void TrimCache();

  Env* env_;
  std::shared_ptr<File> file_;
  std::string path_;
  std::string file_name_;  // for messages
  bool read_only_;
  std::uint64_t file_size_ = 0;  // bytes on disk plus pages allocated since
  // Bytes on disk as of the last load, refresh or flush: while we hold the index lock nobody else
  // changes the file, so the flush need not ask the system.
  std::uint64_t disk_size_ = 0;
  Status error_;

  Tag directory_;
  std::vector<Tag> tags_;
  std::vector<TagInfo> infos_;
  std::vector<std::uint32_t> header_pages_;  // sorted; nodes may not point here

  std::unordered_map<std::uint32_t, std::unique_ptr<CachedNode>> cache_;
  // Pages made dirty since the last Flush (a page freed meanwhile may still be named here), so
  // that Flush and Refresh cost what was changed, not the size of the cache.
  std::vector<std::uint32_t> dirty_;
  std::map<std::uint32_t, std::uint32_t> freed_;  // freed page -> next free page, unwritten
  cdx::Node scratch_;
  std::string page_;  // the page Load and Peek read, before it is decoded
  std::string prefix_;  // the first bytes of the file while LoadHeaders runs
};

}  // namespace xbase
