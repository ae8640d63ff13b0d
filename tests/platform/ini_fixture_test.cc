// Runs every row of tests/data/ini/profile-behaviour.tsv (the profile functions observed on a
// reference implementation, from profile-behaviour.md) against this build's IniService:
// PosixIniService on Linux, the Windows profile API itself (Win32IniService) on Windows. Reading
// rows must match byte for byte. Writing rows: the reference rewrites the whole file (CRLF, no
// blank lines, "k=v"), and so must the Windows build; our Linux writer changes one line, so each
// result is checked against the reference after the same normalisation, against the exact bytes
// we mean to write, and for changing one line only.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "profile_service.h"  // this build's ProfileService and kProfileApi
#include "support/changes_one_line.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

// \r \n \t \0 \\ \xHH decoded.
std::string Unescape(const std::string& in) {
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\' || i + 1 == in.size()) {
      out += in[i];
    } else if (const char c = in[++i]; c == 'x') {
      out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
  }
  return out;
}

// The reference's rewrite, applied to any file: CRLF, no blank lines, no blanks around "=".
std::string Normalize(const std::string& text) {
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
  };
  std::string out, line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    std::istringstream parts(line);  // a lone CR also ends a line
    for (std::string part; std::getline(parts, part, '\r');) {
      std::string t = trim(part);
      if (t.empty()) continue;
      const std::size_t eq = t.find('=');
      if (t[0] != '[' && eq != std::string::npos) {
        t = trim(t.substr(0, eq)) + "=" + trim(t.substr(eq + 1));
      }
      out += t + "\r\n";
    }
  }
  return out;
}

TEST(IniFixture, EveryObservedRowMatches) {
  std::istringstream rows(ReadFile(std::string(XFR_TEST_DATA) + "/ini/profile-behaviour.tsv"));
  testing::TempDir dir("xfr-ini-");
  ProfileService ini;
  const std::string file = dir / "case.ini";
  const std::string windows_file = dir.windows() + "\\CASE.INI";  // other letter case on purpose
  std::optional<std::string> state;  // the file's bytes; nullopt when there is no file
  int run = 0;
  for (std::string line; std::getline(rows, line);) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
    f.resize(11);
    // 0 case, 1 run, 2 before, 3 call, 4-7 arguments, 8 returns, 9 after, 10 our write
    if (f[2] != "=") state = f[2] == "-" ? std::nullopt : std::optional(Unescape(f[2]));
    if (f[1] == "none" || (f[1] == "api" && !kProfileApi)) continue;
    ++run;
    for (const auto& e : fs::directory_iterator(dir.path())) fs::remove(e.path());
    if (state) testing::WriteFile(file, *state);
    std::string a[4];
    for (int i = 0; i < 4; ++i) a[i] = f[4 + i] == "\\N" ? "" : Unescape(f[4 + i]);
    const std::string after = Unescape(f[9]);

    if (f[3] == "Get") {
      const std::uint32_t size = std::stoul(a[3]);
      std::string buffer(size, ' ');
      const std::uint32_t count =
          ini.GetPrivateProfileString(a[0], a[1], a[2], &buffer, size, windows_file);
      EXPECT_EQ(count, std::stoul(f[8]));
      EXPECT_EQ(buffer.substr(0, count), after);
      ASSERT_LT(count, buffer.size());
      EXPECT_EQ(buffer[count], '\0');
    } else if (f[3] == "loop") {
      // The growing-buffer loop of the program's ReadIniString.
      std::uint32_t size = 0, count = 0;
      int calls = 0;
      std::string buffer;
      do {
        size += 256;
        buffer.assign(size, ' ');
        count = ini.GetPrivateProfileString(a[0], a[1], "", &buffer, size, windows_file);
        ++calls;
      } while (count == size - 2);
      EXPECT_EQ(calls, std::stoi(a[2]));
      EXPECT_EQ(size, std::stoul(a[3]));
      EXPECT_EQ(count, std::stoul(f[8]));
      EXPECT_EQ(buffer.substr(0, count), after);
    } else {
      ASSERT_EQ(f[3], "Write");
      EXPECT_TRUE(ini.WritePrivateProfileString(a[0], a[1], a[2], windows_file));
      // The one file of the directory, in whichever letter case the writer made it.
      std::optional<std::string> written;
      for (const auto& e : fs::directory_iterator(dir.path()))
        written = ReadFile(e.path().string());
      ASSERT_TRUE(written.has_value());
      if (kProfileApi) {
        EXPECT_EQ(*written, after);
      } else {
        EXPECT_EQ(Normalize(*written), Normalize(after));
        EXPECT_TRUE(testing::ChangesOneLineOnly(state.value_or(""), *written)) << *written;
        EXPECT_EQ(*written, Unescape(f[10]));
      }
      state = *written;
    }
  }
  EXPECT_GE(run, 85);
}

}  // namespace
}  // namespace xfr
