#include "platform/xbase/reindex.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "platform/xbase/cdx.h"
#include "platform/xbase/cdx_format.h"
#include "platform/xbase/coding.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace xbase {
namespace {

namespace fs = std::filesystem;

// An exclusive byte-range lock, waited for up to the options' timeout and released on scope exit.
class HeldLock {
 public:
  ~HeldLock() { Release(); }
  Status Take(Env* env, File* file, std::uint64_t offset, std::uint64_t length,
              const TableOptions& options, const std::string& what) {
    for (std::uint64_t waited = 0;; waited += options.lock_retry_micros) {
      Status s = file->TryLock(offset, length, true);
      if (s.ok()) {
        file_ = file;
        offset_ = offset;
        length_ = length;
        return s;
      }
      if (!s.IsLocked()) return s;
      if (waited >= options.lock_timeout_micros) {
        return Status::Locked(what +
                              " is held by another program; close the table everywhere "
                              "and try again");
      }
      env->SleepMicros(options.lock_retry_micros);
    }
  }
  void Release() {
    if (file_) file_->Unlock(offset_, length_);
    file_ = nullptr;
  }

 private:
  File* file_ = nullptr;
  std::uint64_t offset_ = 0, length_ = 0;
};

Status ReadExactly(File* file, std::uint64_t offset, std::size_t n, const std::string& what,
                   std::string* out) {
  out->assign(n, '\0');
  std::size_t got = 0;
  Status s = file->ReadAt(offset, n, out->data(), &got);
  if (!s.ok()) return s;
  if (got != n) return Status::Corruption(what + " is cut short by the end of the file");
  return Status::OK();
}

// The skeleton of the new index: the old compound header, a tag directory naming the same tags,
// and per tag its old header followed by an empty root leaf, laid out as FoxPro lays out a new
// index (directory leaf at 0x400, the first tag header at 0x600).
Status Skeleton(File* old_cdx, const std::string& cdx_name, const std::vector<TagInfo>& tags,
                std::string* file) {
  using namespace cdx;
  std::string compound;
  Status s = ReadExactly(old_cdx, 0, kHeaderSize, cdx_name + " compound header", &compound);
  if (!s.ok()) return s;
  const int name_length = DecodeFixed16LE(compound.data() + 12);
  if (name_length < 1 || name_length > kMaxKeyLength) {
    return Status::Corruption(cdx_name + ": the tag directory's key length " +
                              std::to_string(name_length) + " is impossible");
  }
  const std::uint32_t directory = 2 * kPageSize, first_tag = 3 * kPageSize;
  const std::uint32_t per_tag = kHeaderSize + kPageSize;
  file->assign(first_tag + tags.size() * per_tag, '\0');
  std::memcpy(file->data(), compound.data(), kHeaderSize);
  EncodeFixed32LE(file->data(), directory);
  EncodeFixed32LE(file->data() + 4, 0);
  // A new change counter, so that a program comparing it drops what it cached of the old file.
  EncodeFixed32BE(file->data() + 8, DecodeFixed32BE(compound.data() + 8) + 1);

  Node dir;
  dir.offset = directory;
  dir.attr = kAttrRoot | kAttrLeaf;
  dir.key_length = name_length;
  std::map<std::string, std::uint32_t> names;  // the directory's keys in order
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const auto at = static_cast<std::uint32_t>(first_tag + i * per_tag);
    std::string header;
    s = ReadExactly(old_cdx, tags[i].header_offset, kHeaderSize,
                    cdx_name + " tag " + tags[i].name + " header", &header);
    if (!s.ok()) return s;
    std::memcpy(file->data() + at, header.data(), kHeaderSize);
    EncodeFixed32LE(file->data() + at, at + kHeaderSize);
    EncodeFixed32LE(file->data() + at + 4, 0);
    Node root;
    root.offset = at + kHeaderSize;
    root.attr = kAttrRoot | kAttrLeaf;
    root.key_length = tags[i].key_length;
    root.EncodeTo(' ', file->data() + at + kHeaderSize);
    std::string key = tags[i].name;
    key.resize(static_cast<std::size_t>(name_length), ' ');
    names[key] = at;
  }
  for (const auto& [key, at] : names) dir.Insert(dir.size(), key, at, 0);
  if (dir.EncodedSize(' ') > kPageSize) {
    return Status::NotSupported(cdx_name + ": more tags than one directory page holds");
  }
  dir.EncodeTo(' ', file->data() + directory);
  return Status::OK();
}

Status WriteNewFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Status::IOError("cannot write " + path);
  return Status::OK();
}

// Fills the new index's tags with the keys of every record and checks each tag's structure and
// entry count.
Status Fill(Table* table, std::uint32_t count, CdxFile* index) {
  const int tags = static_cast<int>(table->tags().size());
  std::vector<std::uint64_t> entries(static_cast<std::size_t>(tags), 0);
  for (int t = 0; t < tags; ++t) index->SetKeyType(t, table->key_type(t));
  Record rec = table->NewRecord();
  std::string key;
  for (std::uint32_t r = 1; r <= count; ++r) {
    Status s = table->Read(r, &rec);
    for (int t = 0; s.ok() && t < tags; ++t) {
      bool included = false;
      s = table->TagKey(t, rec, r, &included, &key);
      if (!s.ok() || !included) continue;
      bool there = false;
      std::uint32_t at = 0;
      if (table->tags()[static_cast<std::size_t>(t)].unique) s = index->Seek(t, key, &there, &at);
      if (s.ok() && !there) {
        s = index->Insert(t, key, r);
        ++entries[static_cast<std::size_t>(t)];
      }
    }
    // Written out as it goes, so memory stays bounded by the cache, not the table.
    if (s.ok() && r % 4096 == 0) s = index->Flush();
    if (!s.ok()) return s;
  }
  Status s = index->Sync();
  for (int t = 0; s.ok() && t < tags; ++t) {
    std::string problem;
    std::uint64_t n = 0;
    s = index->Check(t, &problem);
    if (s.ok()) s = index->Count(t, &n);
    if (s.ok() && n != entries[static_cast<std::size_t>(t)]) {
      s = Status::Corruption("rebuilt tag " + table->tags()[static_cast<std::size_t>(t)].name +
                             " holds " + std::to_string(n) + " entries, not " +
                             std::to_string(entries[static_cast<std::size_t>(t)]));
    }
  }
  return s;
}

// s with `note` added to its message.
Status Noted(const Status& s, const std::string& note) {
  using Code = Status::Code;
  const std::string m = s.message() + note;
  switch (s.code()) {
    case Code::kNotFound:
      return Status::NotFound(m);
    case Code::kCorruption:
      return Status::Corruption(m);
    case Code::kLocked:
      return Status::Locked(m);
    case Code::kNotSupported:
      return Status::NotSupported(m);
    case Code::kInvalidArgument:
      return Status::InvalidArgument(m);
    default:
      return Status::IOError(m);
  }
}

// A program that has the table open keeps reading and writing the old index after the rename, so
// the rebuild refuses while one has either file open. On Linux, the processes this user may look
// at (all of them for root, so the Samba server's as well) are asked through /proc; elsewhere,
// and for programs on other machines, it is the office's business to close the table first.
Status OpenElsewhere(const std::vector<std::string>& paths) {
#ifdef __linux__
  std::vector<std::string> wanted;
  for (const std::string& p : paths) {
    std::error_code error;
    const fs::path canonical = fs::canonical(p, error);
    if (!error) wanted.push_back(canonical.string());
  }
  const std::string self = std::to_string(::getpid());
  DIR* proc = ::opendir("/proc");
  if (!proc) return Status::OK();
  Status found;
  while (dirent* e = ::readdir(proc)) {
    const std::string pid = e->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code error;
    for (fs::directory_iterator fd("/proc/" + pid + "/fd", error), end; !error && fd != end;
         fd.increment(error)) {
      const std::string target = fs::read_symlink(fd->path(), error).string();
      if (error) break;
      for (const std::string& w : wanted) {
        if (target != w) continue;
        std::string name;
        std::ifstream("/proc/" + pid + "/comm") >> name;
        found = Status::Locked(BaseName(w) + " is open in another program (" + name + ", process " +
                               pid + "); close the table there and try again");
      }
    }
    if (!found.ok()) break;
  }
  ::closedir(proc);
  return found;
#else
  return Status::OK();
#endif
}

// The new index gets the old one's permissions, owner and group (as far as this user may give
// them), so that everyone who could write the old index can write the new one.
void TakeOverOwnership(const std::string& from, const std::string& to) {
#ifndef _WIN32
  struct stat old_stat;
  if (::stat(from.c_str(), &old_stat) != 0) return;
  if (::chown(to.c_str(), old_stat.st_uid, old_stat.st_gid) != 0) {
    (void)!::chown(to.c_str(), static_cast<uid_t>(-1), old_stat.st_gid);
  }
  ::chmod(to.c_str(), old_stat.st_mode & 07777);
#endif
}

// Makes the rename itself durable.
void SyncDirectory(const std::string& file_path) {
#ifndef _WIN32
  std::string dir = std::filesystem::path(file_path).parent_path().string();
  int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
#endif
}

}  // namespace

Status Reindex(const std::string& dbf_path, const TableOptions& options, ReindexResult* result) {
  Env* env = Env::Default();
  TableOptions read_options = options;
  read_options.read_only = true;
  std::unique_ptr<Table> table;
  Status s = Table::Open(env, dbf_path, read_options, &table);
  if (!s.ok()) return s;
  if (!table->locks().indexed || !table->cdx()) {
    return Status::NotFound(BaseName(dbf_path) + " has no structural index to rebuild");
  }
  for (std::size_t t = 0; t < table->tags().size(); ++t) {
    if (!table->tag_status(static_cast<int>(t)).ok()) {
      return Status::NotSupported(table->tag_status(static_cast<int>(t)).message() +
                                  "; the index cannot be rebuilt and is left as it is");
    }
  }
  const std::string cdx_path = SiblingPath(env, dbf_path, ".CDX");
  const std::string cdx_name = BaseName(cdx_path);
  const std::string new_path = cdx_path + ".new";

  // FoxPro's locks: the header (appends), the whole table (every record), the index.
  std::unique_ptr<File> dbf_locks, cdx_locks;
  s = env->OpenFile(dbf_path, false, &dbf_locks);
  if (s.ok()) s = env->OpenFile(cdx_path, false, &cdx_locks);
  if (!s.ok()) return s;
  HeldLock header_lock, table_lock, index_lock;
  s = header_lock.Take(env, dbf_locks.get(), table->locks().header(), 1, options,
                       BaseName(dbf_path) + ": the header lock");
  if (s.ok()) {
    s = table_lock.Take(env, dbf_locks.get(), kIndexedTableLockStart, kIndexedTableLockLength,
                        options, BaseName(dbf_path) + ": a record lock");
  }
  if (s.ok()) {
    s = index_lock.Take(env, cdx_locks.get(), kCdxLockOffset, 1, options,
                        cdx_name + ": the index lock");
  }
  if (s.ok()) s = OpenElsewhere({dbf_path, cdx_path});
  if (!s.ok()) return s;

  std::uint32_t count = 0;
  std::string skeleton;
  s = table->RecordCount(&count);
  if (s.ok()) s = Skeleton(cdx_locks.get(), cdx_name, table->tags(), &skeleton);
  if (s.ok()) s = WriteNewFile(new_path, skeleton);
  if (s.ok()) {
    std::unique_ptr<CdxFile> index;
    s = CdxFile::Open(env, new_path, false, &index);
    if (s.ok()) s = Fill(table.get(), count, index.get());
  }
  const int tags = static_cast<int>(table->tags().size());
  if (s.ok()) {
    // The old file is let go first: Windows renames nothing over a file still open. The table's
    // header and record locks stay held until the new index is in place.
    table.reset();
    index_lock.Release();
    cdx_locks.reset();
    TakeOverOwnership(cdx_path, new_path);
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(new_path), std::filesystem::path(cdx_path),
                            error);
    if (error) s = Status::IOError("cannot replace " + cdx_path + ": " + error.message());
  }
  if (!s.ok()) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(new_path), ignored);
    return Noted(s, "; " + cdx_name + " is left as it was");
  }
  SyncDirectory(cdx_path);
  result->records = count;
  result->tags = tags;
  return Status::OK();
}

}  // namespace xbase
