// The tracking tables of a test office on disk: copies of the fixture tables, and the resolver
// that finds a table's file in their directory in any letter case (as the office's share does).
#pragma once

#include <strings.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace xfr::testing {

#ifdef XFR_TEST_DATA
// Copies the three tracking tables of tests/data/foxpro (DBF, CDX, FPT) into `dir`, writable.
inline void CopyTrackingTables(const std::string& dir) {
  namespace fs = std::filesystem;
  fs::create_directories(dir);
  for (const char* name : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                           "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
    const fs::path to = fs::path(dir) / name;
    fs::copy_file(fs::path(XFR_TEST_DATA) / "foxpro" / name, to,
                  fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  }
}
#endif

// A table resolver for XbaseTableService over the directory `dir` (read at each call, so the
// caller may change it).
inline auto TablesIn(const std::string& dir) {
  return [&dir](std::string_view, std::string_view file) -> std::string {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
      if (strcasecmp(e.path().filename().c_str(), std::string(file).c_str()) == 0) {
        return e.path().string();
      }
    }
    return "";
  };
}

}  // namespace xfr::testing
