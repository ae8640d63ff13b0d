#include "platform/xbase/mem_env.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace xbase {

struct MemEnv::Node {
  struct Lock {
    const void* owner;
    std::uint64_t offset, length;
    bool exclusive;
  };
  std::mutex mu;
  std::string data;
  std::vector<Lock> locks;
};

namespace {

bool Overlaps(std::uint64_t a, std::uint64_t alen, std::uint64_t b, std::uint64_t blen) {
  return a < b + blen && b < a + alen;
}

class MemFile final : public File {
 public:
  MemFile(std::string path, std::shared_ptr<MemEnv::Node> node, bool read_only)
      : path_(std::move(path)), node_(std::move(node)), read_only_(read_only) {}
  ~MemFile() override {
    std::lock_guard<std::mutex> l(node_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [this](const MemEnv::Node::Lock& k) { return k.owner == this; }),
                locks.end());
  }

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override {
    std::lock_guard<std::mutex> l(node_->mu);
    const std::string& d = node_->data;
    *read = 0;
    if (offset >= d.size()) return Status::OK();
    std::size_t avail = static_cast<std::size_t>(d.size() - offset);
    *read = std::min(n, avail);
    std::memcpy(scratch, d.data() + offset, *read);
    return Status::OK();
  }

  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override {
    if (read_only_) return Status::IOError(path_ + ": opened read-only");
    std::lock_guard<std::mutex> l(node_->mu);
    std::string& d = node_->data;
    if (offset + n > d.size()) d.resize(static_cast<std::size_t>(offset + n), '\0');
    std::memcpy(d.data() + offset, data, n);
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    std::lock_guard<std::mutex> l(node_->mu);
    *size = node_->data.size();
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    if (read_only_) return Status::IOError(path_ + ": opened read-only");
    std::lock_guard<std::mutex> l(node_->mu);
    node_->data.resize(static_cast<std::size_t>(size), '\0');
    return Status::OK();
  }

  Status Sync() override { return Status::OK(); }

  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    std::lock_guard<std::mutex> l(node_->mu);
    for (const auto& k : node_->locks) {
      if (k.owner != this && (k.exclusive || exclusive) &&
          Overlaps(k.offset, k.length, offset, length)) {
        return Status::Locked(path_ + ": bytes " + std::to_string(offset) + "+" +
                              std::to_string(length) + " are locked by another program");
      }
    }
    node_->locks.push_back({this, offset, length, exclusive});
    return Status::OK();
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    std::lock_guard<std::mutex> l(node_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [&](const MemEnv::Node::Lock& k) {
                                 return k.owner == this &&
                                        Overlaps(k.offset, k.length, offset, length);
                               }),
                locks.end());
    return Status::OK();
  }

 private:
  std::string path_;
  std::shared_ptr<MemEnv::Node> node_;
  bool read_only_;
};

}  // namespace

MemEnv::MemEnv() = default;
MemEnv::~MemEnv() = default;

void MemEnv::PutFile(const std::string& path, std::string contents) {
  std::lock_guard<std::mutex> l(mu_);
  auto node = std::make_shared<Node>();
  node->data = std::move(contents);
  files_[path] = std::move(node);
}

bool MemEnv::GetFile(const std::string& path, std::string* contents) const {
  std::lock_guard<std::mutex> l(mu_);
  auto it = files_.find(path);
  if (it == files_.end()) return false;
  std::lock_guard<std::mutex> l2(it->second->mu);
  *contents = it->second->data;
  return true;
}

void MemEnv::RemoveFile(const std::string& path) {
  std::lock_guard<std::mutex> l(mu_);
  files_.erase(path);
}

Status MemEnv::OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) {
  std::lock_guard<std::mutex> l(mu_);
  auto it = files_.find(path);
  if (it == files_.end()) return Status::NotFound(path + ": no such file");
  *file = std::make_unique<MemFile>(path, it->second, read_only);
  return Status::OK();
}

Status MemEnv::CreateIfMissing(const std::string& path, const std::string&) {
  std::lock_guard<std::mutex> l(mu_);
  if (files_.count(path) == 0) files_[path] = std::make_shared<Node>();
  return Status::OK();
}

Status MemEnv::RenameFile(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> l(mu_);
  auto it = files_.find(from);
  if (it == files_.end()) return Status::NotFound(from + ": no such file");
  auto node = std::move(it->second);
  files_.erase(it);
  files_[to] = std::move(node);
  return Status::OK();
}

bool MemEnv::FileExists(const std::string& path) {
  std::lock_guard<std::mutex> l(mu_);
  return files_.count(path) != 0;
}

void MemEnv::SleepMicros(std::uint64_t) {}

}  // namespace xbase
