#include "platform/xbase/check.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/xbase/coding.h"
#include "platform/xbase/table.h"

namespace xbase {
namespace {

Status CheckFile(Table* table, std::uint64_t size, std::vector<std::string>* report) {
  const DbfLayout& layout = table->layout();
  const DbfHeader& h = layout.header();
  const std::string name = BaseName(table->path());
  const std::uint64_t want = layout.FileLength(h.record_count);
  if (size == want - 1) {
    // xBase programs in shared mode leave the marker off after an append: not a fault.
    report->push_back("NOTE  " + name + ": no 0x1A end marker after record " +
                      std::to_string(h.record_count) + " (left off by a shared-mode append)");
    return Status::OK();
  }
  if (size > want) {
    std::uint64_t extra = size - want + 1;  // bytes from the end marker's place on
    std::string what = std::to_string(extra) + " bytes";
    if (extra == h.record_length + 1u || extra == h.record_length) {
      what = "one record (" + std::to_string(h.record_count + 1) +
             ") not counted in the header: an append stopped before the record count was written";
    }
    return Status::Corruption(name + ": header counts " + std::to_string(h.record_count) +
                              " records (" + std::to_string(want) + " bytes), the file has " +
                              std::to_string(size) + ": " + what);
  }
  return Status::OK();
}

// Calls visit(recno, record) for every record, reading the file in blocks.
template <typename Visit>
Status ForEachRecord(Table* table, File* file, Visit visit) {
  const DbfLayout& layout = table->layout();
  const std::uint32_t count = layout.header().record_count;
  const std::uint32_t len = layout.header().record_length;
  const std::uint32_t per_block = std::max<std::uint32_t>(1, (1u << 20) / len);
  std::string buf;
  Record rec = table->NewRecord();
  for (std::uint32_t r = 1; r <= count; r += per_block) {
    std::uint32_t n = std::min(per_block, count - r + 1);
    buf.resize(std::size_t{n} * len);
    std::size_t got = 0;
    Status s = file->ReadAt(layout.RecordOffset(r), buf.size(), buf.data(), &got);
    if (!s.ok()) return s;
    if (got != buf.size()) {
      return Status::Corruption(BaseName(table->path()) + ": records end early in the file");
    }
    for (std::uint32_t i = 0; i < n; ++i) {
      rec.Assign(std::string_view(buf).substr(std::size_t{i} * len, len));
      s = visit(r + i, rec);
      if (!s.ok()) return s;
    }
  }
  return Status::OK();
}

Status CheckMemo(Env* env, Table* table, File* file) {
  const DbfLayout& layout = table->layout();
  if (!layout.has_memo()) return Status::OK();
  std::string fpt_path = SiblingPath(env, table->path(), ".FPT");
  std::unique_ptr<File> fpt;
  Status s = env->OpenFile(fpt_path, true, &fpt);
  if (!s.ok()) {
    return Status::Corruption(BaseName(table->path()) + " has memo fields but " +
                              BaseName(fpt_path) + " cannot be opened: " + s.message());
  }
  const std::string name = BaseName(fpt_path);
  char head[8];
  std::size_t got = 0;
  s = fpt->ReadAt(0, sizeof head, head, &got);
  if (!s.ok()) return s;
  std::uint64_t size = 0;
  s = fpt->Size(&size);
  if (!s.ok()) return s;
  if (got < 8 || size < 512) return Status::Corruption(name + ": shorter than its 512-byte header");
  std::uint32_t next_free = DecodeFixed32BE(head);
  std::uint32_t block = DecodeFixed16BE(head + 6);
  if (block == 0) return Status::Corruption(name + ": block size 0");
  const std::uint32_t first = (512 + block - 1) / block;
  return ForEachRecord(table, file, [&](std::uint32_t recno, const Record& rec) -> Status {
    for (std::size_t f = 0; f < layout.fields().size(); ++f) {
      if (layout.fields()[f].type != 'M') continue;
      std::string_view raw = rec.Raw(static_cast<int>(f));
      std::string text;
      for (char c : raw) {
        if (c != ' ' && c != '\0') text.push_back(c);
      }
      if (text.empty()) continue;
      std::string where = BaseName(table->path()) + ": record " + std::to_string(recno) + " memo " +
                          layout.fields()[f].name;
      if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
          text.size() > 9) {
        return Status::Corruption(where + ": pointer \"" + text + "\" is not a block number");
      }
      std::uint32_t blk = static_cast<std::uint32_t>(std::stoul(text));
      if (blk == 0) continue;
      if (blk < first || blk >= next_free) {
        return Status::Corruption(where + " points to block " + std::to_string(blk) +
                                  ", outside the used blocks " + std::to_string(first) + ".." +
                                  std::to_string(next_free - 1) + " of " + name);
      }
      char bh[8];
      Status rs = fpt->ReadAt(std::uint64_t{blk} * block, 8, bh, &got);
      if (!rs.ok()) return rs;
      std::uint32_t len = got == 8 ? DecodeFixed32BE(bh + 4) : 0;
      if (got != 8 || std::uint64_t{blk} * block + 8 + len > size) {
        return Status::Corruption(where + ": block " + std::to_string(blk) + " does not fit in " +
                                  name);
      }
    }
    return Status::OK();
  });
}

Status CheckTag(Table* table, File* file, int tag, std::vector<std::string>* report) {
  CdxFile* cdx = table->cdx();
  const TagInfo& info = table->tags()[tag];
  const std::string what = BaseName(table->path()) + " tag " + info.name;
  if (!table->tag_status(tag).ok()) return table->tag_status(tag);
  std::string problem;
  Status s = cdx->Check(tag, &problem);
  if (!s.ok()) return Status::Corruption(problem.empty() ? s.message() : problem);
  std::vector<std::pair<std::string, std::uint32_t>> entries;
  s = cdx->Walk(tag, [&](std::string_view k, std::uint32_t r) {
    entries.emplace_back(std::string(k), r);
    return true;
  });
  if (!s.ok()) return s;
  if (info.descending) std::reverse(entries.begin(), entries.end());
  const char type = table->key_type(tag);
  const std::uint32_t count = table->layout().header().record_count;
  // The key each record should have in the tag; empty when FOR keeps it out.
  std::vector<std::string> want(count + 1);
  std::vector<bool> in_tag(count + 1, false);
  s = ForEachRecord(table, file, [&](std::uint32_t r, const Record& rec) -> Status {
    bool in = false;
    Status ks = table->TagKey(tag, rec, r, &in, &want[r]);
    in_tag[r] = in;
    return ks;
  });
  if (!s.ok()) return s;
  std::vector<std::uint32_t> seen(count + 1, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [key, r] = entries[i];
    if (r < 1 || r > count) {
      return Status::Corruption(what + ": entry " + std::to_string(i + 1) + " points to record " +
                                std::to_string(r) + ", the table has 1.." + std::to_string(count));
    }
    if (i > 0 && !(entries[i - 1] < entries[i])) {
      return Status::Corruption(what + ": order broken at entry " + std::to_string(i + 1) + ": " +
                                DescribeKey(entries[i - 1].first, type) + " record " +
                                std::to_string(entries[i - 1].second) + " before " +
                                DescribeKey(key, type) + " record " + std::to_string(r));
    }
    if (seen[r]) {
      return Status::Corruption(what + ": record " + std::to_string(r) + " appears twice");
    }
    seen[r] = static_cast<std::uint32_t>(i + 1);
    if (!in_tag[r]) {
      return Status::Corruption(what + ": record " + std::to_string(r) +
                                " is in the tag but fails FOR " + info.for_expr);
    }
    if (want[r] != key) {
      return Status::Corruption(what + ": entry " + std::to_string(i + 1) + " holds " +
                                DescribeKey(key, type) + " for record " + std::to_string(r) +
                                ", whose key is " + DescribeKey(want[r], type));
    }
  }
  std::uint64_t expected = 0;
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (!in_tag[r]) continue;
    ++expected;
    if (seen[r]) continue;
    bool present = false;
    if (info.unique) {
      auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(want[r], 0u));
      present = it != entries.end() && it->first == want[r];
    }
    if (!present) {
      return Status::Corruption(what + ": record " + std::to_string(r) + " (key " +
                                DescribeKey(want[r], type) + ") is missing from the tag");
    }
  }
  if (!info.unique && entries.size() != expected) {
    return Status::Corruption(what + ": " + std::to_string(entries.size()) + " entries, " +
                              std::to_string(expected) + " expected");
  }
  report->push_back("OK      tag " + info.name + " key=" + info.key_expr +
                    (info.for_expr.empty() ? "" : " for=" + info.for_expr) +
                    (info.descending ? " DESCENDING" : "") + (info.unique ? " UNIQUE" : "") +
                    " keylen=" + std::to_string(info.key_length) +
                    " keys=" + std::to_string(entries.size()));
  return Status::OK();
}

}  // namespace

std::string DescribeKey(const std::string& key, char key_type) {
  if (key_type != 'C' && key.size() == 8) {
    return FormatGeneral(DecodeNumberKey(key), 17);
  }
  std::string out = "\"";
  for (char c : key) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && c != '"' && c != '\\') {
      out.push_back(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      out += buf;
    }
  }
  return out + "\"";
}

Status CheckTable(Env* env, const std::string& dbf_path, std::vector<std::string>* report) {
  // A write a power loss or a crash cut short is said first: the faults it leaves until the next
  // write open finishes it are not damage.
  std::unique_ptr<File> wal;
  bool pending = false;
  if (env->OpenFile(WriteAheadPath(dbf_path), true, &wal).ok() &&
      WriteAheadPending(wal.get(), &pending).ok() && pending) {
    report->push_back("NOTE  " + BaseName(dbf_path) + ": " + BaseName(WriteAheadPath(dbf_path)) +
                      " holds a write cut short; the next program that opens the table for "
                      "writing finishes it");
  }
  TableOptions options;
  options.read_only = true;
  std::unique_ptr<Table> table;
  Status s = Table::Open(env, dbf_path, options, &table);
  if (!s.ok()) return s;
  std::unique_ptr<File> file;
  s = env->OpenFile(dbf_path, true, &file);
  if (!s.ok()) return s;
  std::uint64_t size = 0;
  s = file->Size(&size);
  if (!s.ok()) return s;
  s = CheckFile(table.get(), size, report);
  if (!s.ok()) return s;
  const DbfLayout& layout = table->layout();
  const std::uint32_t count = layout.header().record_count;
  char last = 0x1A;
  std::size_t got = 0;
  if (size == layout.FileLength(count)) s = file->ReadAt(size - 1, 1, &last, &got);
  if (!s.ok()) return s;
  if (last != 0x1A) {
    return Status::Corruption(BaseName(dbf_path) + ": last byte is not the 0x1A end marker");
  }
  std::uint32_t deleted = 0;
  s = ForEachRecord(table.get(), file.get(), [&](std::uint32_t r, const Record& rec) -> Status {
    char flag = rec.bytes()[0];
    if (flag != ' ' && flag != '*') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(flag));
      return Status::Corruption(BaseName(dbf_path) + ": record " + std::to_string(r) +
                                " starts with " + buf + ", neither ' ' nor '*'");
    }
    deleted += flag == '*';
    return Status::OK();
  });
  if (!s.ok()) return s;
  s = CheckMemo(env, table.get(), file.get());
  if (!s.ok()) return s;
  report->push_back("OK    " + BaseName(dbf_path) + ": records=" + std::to_string(count) +
                    " deleted=" + std::to_string(deleted) +
                    (table->cdx() ? "" : "  (no structural index)"));
  for (std::size_t t = 0; t < table->tags().size(); ++t) {
    s = CheckTag(table.get(), file.get(), static_cast<int>(t), report);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

}  // namespace xbase
