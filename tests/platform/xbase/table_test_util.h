// Helpers for the table engine tests: temporary copies of the fixture tables, the key lists of
// EXPECTED.txt, walking a tag, and the independent checker when it is present.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"

namespace xbase::table_testing {

inline std::string DataPath(const std::string& rel) {
  return std::string(XFR_TEST_DATA) + "/" + rel;
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A directory that removes itself.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "xbase-XXXXXX").string();
    path_ = mkdtemp(templ.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A lock held by another process with a plain POSIX record lock (fcntl F_SETLK), as another
// program takes it, from construction to destruction. held() says whether it was granted.
class ForeignLock {
 public:
  ForeignLock(const std::string& path, std::uint64_t offset, std::uint64_t length,
              bool exclusive = true) {
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child[1]);
      close(from_child[0]);
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = static_cast<off_t>(offset);
      fl.l_len = static_cast<off_t>(length);
      char ok = fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
      (void)!write(from_child[1], &ok, 1);
      char b;
      (void)!read(to_child[0], &b, 1);
      _exit(0);
    }
    close(to_child[0]);
    close(from_child[1]);
    release_ = to_child[1];
    char ok = 0;
    held_ = read(from_child[0], &ok, 1) == 1 && ok == 'y';
    close(from_child[0]);
  }
  ~ForeignLock() {
    if (pid_ <= 0) return;
    close(release_);
    waitpid(pid_, nullptr, 0);
  }
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

// Whether another process trying an exclusive POSIX lock on the bytes is refused.
inline bool LockedForOthers(const std::string& path, std::uint64_t offset,
                            std::uint64_t length = 1) {
  ForeignLock probe(path, offset, length);
  return !probe.held();
}

// Copies every file of tests/data/<set> (not its subfolders) into dir, writable.
inline void CopyFixtures(const std::string& set, const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(DataPath(set))) {
    if (!e.is_regular_file()) continue;
    auto to = std::filesystem::path(dir) / e.path().filename();
    std::filesystem::copy_file(e.path(), to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
}

// Loads every file of tests/data/<set> into env under "/<name>".
inline void LoadFixtures(const std::string& set, MemEnv* env) {
  for (const auto& e : std::filesystem::directory_iterator(DataPath(set))) {
    if (e.is_regular_file()) env->PutFile("/" + e.path().filename().string(), Slurp(e.path()));
  }
}

using KeyList = std::vector<std::pair<std::string, std::uint32_t>>;

// EXPECTED.txt blocks keyed "after PROPERTY FILE_NUM".
inline std::map<std::string, KeyList> ExpectedKeys() {
  std::map<std::string, KeyList> blocks;
  std::istringstream in(Slurp(DataPath("foxpro/EXPECTED.txt")));
  std::string line;
  KeyList* current = nullptr;
  while (std::getline(in, line)) {
    if (line.rfind("[before] ", 0) == 0 || line.rfind("[after] ", 0) == 0) {
      std::istringstream words(line);
      std::string state, table, tag_word, tag;
      words >> state >> table >> tag_word >> tag;
      current = &blocks[state.substr(1, state.size() - 2) + " " + table + " " + tag];
      continue;
    }
    std::size_t q1 = line.find('"');
    std::size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
    if (!current || q2 == std::string::npos) {
      current = nullptr;
      continue;
    }
    current->emplace_back(line.substr(q1 + 1, q2 - q1 - 1),
                          static_cast<std::uint32_t>(std::stoul(line.substr(q2 + 1))));
  }
  return blocks;
}

inline KeyList WalkTag(Table* table, int tag) {
  KeyList keys;
  Status s = table->cdx()->Walk(tag, [&](std::string_view k, std::uint32_t r) {
    keys.emplace_back(std::string(k), r);
    return true;
  });
  if (!s.ok()) keys.emplace_back("walk failed: " + s.ToString(), 0);
  return keys;
}

inline std::unique_ptr<Table> OpenOrDie(Env* env, const std::string& path,
                                        TableOptions options = {}) {
  std::unique_ptr<Table> t;
  Status s = Table::Open(env, path, options, &t);
  if (!s.ok()) {
    std::fprintf(stderr, "open %s: %s\n", path.c_str(), s.ToString().c_str());
    std::abort();
  }
  return t;
}

inline std::string CheckerPath() { return std::string(XFR_SHARED_DIR) + "/tools/checktables.py"; }
inline bool HaveChecker() { return std::filesystem::exists(CheckerPath()); }

// Runs the independent checker on dir; returns its exit status and puts its output in *out.
inline int RunChecker(const std::string& dir, std::string* out) {
  std::string cmd = "python3 '" + CheckerPath() + "' '" + dir + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  int rc = pclose(p);
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace xbase::table_testing
