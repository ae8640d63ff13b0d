// The disk states a power cut can leave, built from the log of a recording FaultEnv: for the
// power-loss campaigns of the engine and of a whole transfer.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/xbase/fault_env.h"
#include "platform/xbase/table.h"

namespace xbase::table_testing {

using Files = std::map<std::string, std::string>;  // base name -> bytes

// The disk after a cut before log[cut]: each file at one of the sizes it had since its last sync
// and each sector in one of the versions it had since; choose(n) picks one of n, 0 the synced one.
inline Files Land(const Files& start, const std::vector<FaultEnv::Op>& log, std::size_t cut,
                  const std::function<std::size_t(std::size_t)>& choose) {
  std::map<std::string, std::vector<std::string>> versions;  // the synced one first
  for (const auto& [name, bytes] : start) versions[name] = {bytes};
  for (std::size_t i = 0; i < cut; ++i) {
    std::vector<std::string>& v = versions[BaseName(log[i].path)];
    std::string bytes = v.empty() ? "" : v.back();
    if (log[i].kind == FaultEnv::Op::kCut) bytes.resize(log[i].offset, '\0');
    if (log[i].kind == FaultEnv::Op::kWrite) {
      bytes.resize(std::max(bytes.size(), log[i].offset + log[i].bytes.size()), '\0');
      bytes.replace(log[i].offset, log[i].bytes.size(), log[i].bytes);
    }
    // A sync keeps what was written; so does a new file's name, synced with its directory.
    if (log[i].kind == FaultEnv::Op::kSync || log[i].kind == FaultEnv::Op::kCreate) v.clear();
    v.push_back(bytes);
  }
  Files out;
  for (const auto& [name, v] : versions) {
    std::string disk = v[0];
    disk.resize(v[choose(v.size())].size(), '\0');
    for (std::size_t at = 0; at < disk.size(); at += 512) {
      auto sector = [&](std::size_t i) { return v[i].substr(std::min(at, v[i].size()), 512); };
      std::vector<std::size_t> changed{0};
      for (std::size_t i = 1; i < v.size(); ++i) {
        if (sector(i) != sector(changed.back())) changed.push_back(i);
      }
      std::string bytes = sector(changed[choose(changed.size())]);
      bytes.resize(std::min<std::size_t>(512, disk.size() - at), '\0');
      disk.replace(at, bytes.size(), bytes);
    }
    out[name] = disk;
  }
  return out;
}

// The choices of Land for the states tried at one point: everything issued landed, nothing since
// each file's last sync, then `mixes` seeded mixes drawn from `rng`.
using Choose = std::function<std::size_t(std::size_t)>;
inline std::vector<Choose> Choices(int mixes, std::mt19937& rng) {
  std::vector<Choose> choices{[](std::size_t n) { return n - 1; }, [](std::size_t) { return 0; }};
  choices.resize(2 + mixes, [&rng](std::size_t n) { return std::size_t{rng() % n}; });
  return choices;
}

}  // namespace xbase::table_testing
