#include "platform/xbase/recording_env.h"

namespace xbase {
namespace {

class RecordingFile final : public File {
 public:
  RecordingFile(RecordingEnv* env, std::string path, std::unique_ptr<File> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override {
    return base_->ReadAt(offset, n, scratch, read);
  }
  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override {
    env_->Add({RecordingEnv::Op::kWrite, path_, offset, std::string(data, n)});
    return base_->WriteAt(offset, data, n);
  }
  Status Size(std::uint64_t* size) override { return base_->Size(size); }
  Status Truncate(std::uint64_t size) override {
    env_->Add({RecordingEnv::Op::kCut, path_, size, {}});
    return base_->Truncate(size);
  }
  Status Sync() override {
    env_->Add({RecordingEnv::Op::kSync, path_, 0, {}});
    return base_->Sync();
  }
  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    return base_->TryLock(offset, length, exclusive);
  }
  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return base_->Unlock(offset, length);
  }

 private:
  RecordingEnv* env_;
  std::string path_;
  std::unique_ptr<File> base_;
};

}  // namespace

Status RecordingEnv::OpenFile(const std::string& path, bool read_only,
                              std::unique_ptr<File>* file) {
  std::unique_ptr<File> base;
  Status s = base_->OpenFile(path, read_only, &base);
  if (s.ok()) *file = std::make_unique<RecordingFile>(this, path, std::move(base));
  return s;
}

Status RecordingEnv::CreateIfMissing(const std::string& path) {
  if (!base_->FileExists(path)) Add({Op::kCreate, path, 0, {}});
  return base_->CreateIfMissing(path);
}

}  // namespace xbase
