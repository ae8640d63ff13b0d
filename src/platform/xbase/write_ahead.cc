// Write-ahead of the engine's synced writes: StagedFile, CommitStaged and FinishInterruptedWrite.
// See write_ahead.h for the protocol and the file's layout.
#include "platform/xbase/write_ahead.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/xbase/coding.h"

namespace xbase {
namespace {

constexpr char kMagic[] = "XFRWAL1\n";
constexpr std::size_t kMagicLength = 8;
constexpr std::size_t kHeaderLength = kMagicLength + 4 + 8;
constexpr std::uint64_t kPiece = 512;
constexpr std::uint8_t kBytes = 0, kCut = 1;

std::uint64_t Fnv1a(std::string_view data) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : data) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

// The bytes of [offset, offset + n) as the file holds them, zeros past its end.
Status ReadPadded(File* file, std::uint64_t offset, std::size_t n, std::string* out) {
  out->assign(n, '\0');
  std::size_t got = 0;
  return file->ReadAt(offset, n, out->data(), &got);
}

// Calls visit(start, end) for each piece of [offset, offset + n) that lies in one 512-byte sector.
template <typename Visit>
void ForEachPiece(std::uint64_t offset, std::size_t n, Visit visit) {
  for (std::uint64_t at = offset; at < offset + n;) {
    const std::uint64_t end = std::min<std::uint64_t>(offset + n, (at / kPiece + 1) * kPiece);
    visit(at - offset, end - offset);
    at = end;
  }
}

// One change of NAME.WAL, decoded.
struct Change {
  int file = 0;
  std::uint8_t kind = kBytes;
  std::uint64_t offset = 0;
  std::string_view bytes, old;  // for kBytes: the new bytes and the bytes they replace
};

// Cuts, then writes the bytes from the end of the file to its start; the DBF first, then the
// CDX; then syncs both.
Status Apply(const std::vector<Change>& changes, File* const files[2]) {
  for (int f = 0; f < 2; ++f) {
    std::vector<const Change*> mine;
    for (const Change& c : changes) {
      if (c.file == f) mine.push_back(&c);
    }
    std::sort(mine.begin(), mine.end(), [](const Change* a, const Change* b) {
      return a->kind != b->kind ? a->kind == kCut : a->offset > b->offset;
    });
    for (const Change* c : mine) {
      Status s = c->kind == kCut ? files[f]->Truncate(c->offset)
                                 : files[f]->WriteAt(c->offset, c->bytes.data(), c->bytes.size());
      if (!s.ok()) return s;
    }
    if (!mine.empty()) {
      Status s = files[f]->Sync();
      if (!s.ok()) return s;
    }
  }
  return Status::OK();
}

// The file is let go of by overwriting its mark, not by cutting it: its size stays, so that
// syncing the next write into it need not commit a new size.
Status Retire(File* log) {
  return log->WriteAt(0, std::string(kMagicLength, '\0').data(), kMagicLength);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// StagedFile

StagedFile::Changes StagedFile::Take() {
  holding_ = false;
  Changes out = std::move(changes_);
  changes_ = Changes();
  return out;
}

Status StagedFile::ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) {
  Status s = base_->ReadAt(offset, n, scratch, read);
  if (!s.ok() || changes_.empty()) return s;
  std::size_t len = *read;
  auto fill_to = [&](std::uint64_t end) {  // zeros up to file offset `end`
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(end, offset + n) - std::min(end, offset));
    if (want > len) std::memset(scratch + len, 0, want - len);
    len = std::max(len, want);
  };
  if (changes_.cut) {
    // Bytes past the cut are gone; a cut past the end adds zeros.
    len = static_cast<std::size_t>(
        std::min<std::uint64_t>(len, *changes_.cut > offset ? *changes_.cut - offset : 0));
    fill_to(*changes_.cut);
  }
  for (const auto& [at, bytes] : changes_.bytes) {
    const std::uint64_t lo = std::max(at, offset), hi = std::min(at + bytes.size(), offset + n);
    if (lo >= hi) continue;
    fill_to(hi);
    std::memcpy(scratch + (lo - offset), bytes.data() + (lo - at), hi - lo);
  }
  if (!changes_.bytes.empty()) {
    // Up to a held write further on, a gap reads as zeros, as in a file written past its end.
    const auto& [at, bytes] = *changes_.bytes.rbegin();
    fill_to(at + bytes.size());
  }
  *read = len;
  return Status::OK();
}

Status StagedFile::WriteAt(std::uint64_t offset, const char* data, std::size_t n) {
  if (!holding_) return base_->WriteAt(offset, data, n);
  // Merged with the held bytes it overlaps or touches, so that held extents never overlap.
  std::uint64_t start = offset, end = offset + n;
  auto it = changes_.bytes.upper_bound(offset);
  if (it != changes_.bytes.begin() &&
      std::prev(it)->first + std::prev(it)->second.size() >= offset) {
    --it;
  }
  std::vector<std::pair<std::uint64_t, std::string>> parts;
  while (it != changes_.bytes.end() && it->first <= end) {
    start = std::min(start, it->first);
    end = std::max<std::uint64_t>(end, it->first + it->second.size());
    parts.emplace_back(it->first, std::move(it->second));
    it = changes_.bytes.erase(it);
  }
  std::string merged(static_cast<std::size_t>(end - start), '\0');
  for (const auto& [at, bytes] : parts) merged.replace(at - start, bytes.size(), bytes);
  merged.replace(offset - start, n, data, n);
  changes_.bytes.emplace(start, std::move(merged));
  return Status::OK();
}

Status StagedFile::Size(std::uint64_t* size) {
  Status s = base_->Size(size);
  if (!s.ok()) return s;
  if (changes_.cut) *size = *changes_.cut;
  if (!changes_.bytes.empty()) {
    const auto& [at, bytes] = *changes_.bytes.rbegin();
    *size = std::max<std::uint64_t>(*size, at + bytes.size());
  }
  return Status::OK();
}

Status StagedFile::Truncate(std::uint64_t size) {
  if (!holding_) return base_->Truncate(size);
  if (changes_.cut) return Status::NotSupported("a second cut of a file in one write");
  changes_.cut = size;
  for (auto it = changes_.bytes.begin(); it != changes_.bytes.end();) {
    if (it->first >= size) {
      it = changes_.bytes.erase(it);
    } else {
      if (it->first + it->second.size() > size) it->second.resize(size - it->first);
      ++it;
    }
  }
  return Status::OK();
}

// ---------------------------------------------------------------------------------------------
// Commit and recovery

Status CommitStaged(File* log, StagedFile* dbf, StagedFile* cdx) {
  StagedFile* staged[2] = {dbf, cdx};
  StagedFile::Changes held[2];
  for (int f = 0; f < 2; ++f) {
    if (staged[f] != nullptr) held[f] = staged[f]->Take();
  }
  std::string body;
  std::vector<Change> changes;
  for (int f = 0; f < 2; ++f) {
    auto add = [&](std::uint8_t kind, std::uint64_t offset, std::string_view bytes) -> Status {
      std::string old;
      Status s =
          kind == kCut ? Status::OK() : ReadPadded(staged[f]->base(), offset, bytes.size(), &old);
      char head[14];
      head[0] = static_cast<char>(f);
      head[1] = static_cast<char>(kind);
      EncodeFixed64BE(head + 2, offset);
      EncodeFixed32BE(head + 10, static_cast<std::uint32_t>(bytes.size()));
      body.append(head, sizeof head);
      body.append(bytes);
      body.append(old);
      changes.push_back({f, kind, offset, bytes, {}});
      return s;
    };
    if (held[f].cut) {
      Status s = add(kCut, *held[f].cut, {});
      if (!s.ok()) return s;
    }
    for (const auto& [offset, bytes] : held[f].bytes) {
      Status s = add(kBytes, offset, bytes);
      if (!s.ok()) return s;
    }
  }
  if (changes.empty()) return Status::OK();
  std::string file(kMagic, kMagicLength);
  char head[12];
  EncodeFixed32BE(head, static_cast<std::uint32_t>(body.size()));
  EncodeFixed64BE(head + 4, Fnv1a(body));
  file.append(head, sizeof head);
  file += body;
  Status s = log->WriteAt(0, file.data(), file.size());
  if (s.ok()) s = log->Sync();
  if (!s.ok()) return s;
  File* const files[2] = {dbf != nullptr ? dbf->base() : nullptr,
                          cdx != nullptr ? cdx->base() : nullptr};
  s = Apply(changes, files);
  if (!s.ok()) return s;
  return Retire(log);
}

Status WriteAheadPending(File* log, bool* pending) {
  char magic[kMagicLength];
  std::size_t got = 0;
  Status s = log->ReadAt(0, sizeof magic, magic, &got);
  *pending = s.ok() && got == kMagicLength && std::memcmp(magic, kMagic, kMagicLength) == 0;
  return s;
}

Status FinishInterruptedWrite(File* log, File* dbf, File* cdx, Interrupted* outcome) {
  *outcome = Interrupted::kNone;
  bool pending = false;
  std::uint64_t size = 0;
  Status s = WriteAheadPending(log, &pending);
  if (s.ok() && pending) s = log->Size(&size);
  if (!s.ok() || !pending) return s;
  std::string file;
  s = ReadPadded(log, 0, static_cast<std::size_t>(size), &file);
  if (!s.ok()) return s;
  // A torn or foreign file: the write it began never reached the table.
  std::vector<Change> changes;
  std::string_view body;
  bool whole = file.size() >= kHeaderLength && file.compare(0, kMagicLength, kMagic) == 0;
  if (whole) {
    const std::uint32_t length = DecodeFixed32BE(file.data() + kMagicLength);
    body = std::string_view(file).substr(kHeaderLength);
    whole = length <= body.size();
    if (whole) body = body.substr(0, length);
    whole = whole && Fnv1a(body) == DecodeFixed64BE(file.data() + kMagicLength + 4);
  }
  for (std::size_t pos = 0; whole && pos < body.size();) {
    whole = body.size() - pos >= 14;
    if (!whole) break;
    Change c;
    c.file = static_cast<unsigned char>(body[pos]);
    c.kind = static_cast<std::uint8_t>(body[pos + 1]);
    c.offset = DecodeFixed64BE(body.data() + pos + 2);
    const std::uint64_t n = DecodeFixed32BE(body.data() + pos + 10);
    pos += 14;
    const std::uint64_t images = c.kind == kBytes ? 2 * n : 0;
    whole = c.file < 2 && c.kind <= kCut && (c.file == 0 || cdx != nullptr) &&
            body.size() - pos >= images;
    if (!whole) break;
    c.bytes = body.substr(pos, n);
    c.old = body.substr(pos + n, images - n);
    pos += images;
    changes.push_back(c);
  }
  File* const files[2] = {dbf, cdx};
  bool done = true;
  for (std::size_t i = 0; whole && i < changes.size(); ++i) {
    // Each sector's part of a change holds, as far as the file reaches, the new bytes or the old
    // ones; anything else is another program's write since the cut.
    const Change& c = changes[i];
    std::uint64_t length = 0;
    s = files[c.file]->Size(&length);
    if (!s.ok()) return s;
    if (c.kind == kCut) {
      done = done && length <= c.offset;
      continue;
    }
    std::string now;
    s = ReadPadded(files[c.file], c.offset, c.bytes.size(), &now);
    if (!s.ok()) return s;
    ForEachPiece(c.offset, c.bytes.size(), [&](std::size_t lo, std::size_t hi) {
      const std::size_t in_file = static_cast<std::size_t>(
          std::clamp<std::uint64_t>(length, c.offset + lo, c.offset + hi) - (c.offset + lo));
      const std::string_view have = std::string_view(now).substr(lo, in_file);
      const bool is_new = have == c.bytes.substr(lo, in_file);
      done = done && is_new && in_file == hi - lo;
      if (!is_new && have != c.old.substr(lo, in_file)) *outcome = Interrupted::kStale;
    });
  }
  if (whole && !done && *outcome != Interrupted::kStale) {
    s = Apply(changes, files);
    if (!s.ok()) return s;
    *outcome = Interrupted::kFinished;
  }
  s = Retire(log);
  if (s.ok()) s = log->Sync();
  return s;
}

}  // namespace xbase
