// PosixIniService beyond the observed rows: the writer keeping the rest of a file, malformed and
// hostile files, the buffer contract at its edges, the Windows directory and bare file names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix/posix_ini.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

std::string Get(PosixIniService& ini, const std::string& file, const std::string& section,
                const std::string& key, const std::string& def = "dflt") {
  std::string buffer(256, ' ');
  std::uint32_t n = ini.GetPrivateProfileString(section, key, def, &buffer, 256, file);
  return buffer.substr(0, n);
}

TEST(PosixIni, WriterChangesOnlyItsLineFollowsLinksAndFindsBareNames) {
  // A file another program owns: BOM, LF ends, odd spacing, comments, blank lines, high bytes,
  // a duplicate section and no final newline.
  const std::string before =
      "\xEF\xBB\xBF; settings\n\n[preferences]\n  Colour = blue ; sky\n"
      "AutoExit = 0\n\n; next\n[Other]\nname=Caf\xE9\n[PREFERENCES]\nAUTOEXIT=9";
  TempDir dir;
  WriteFile(dir / "xfr.ini", before);
  ::chmod((dir / "xfr.ini").c_str(), 0640);
  PosixIniService ini;
  const std::string file = dir.windows() + "\\XFR.INI";

  ASSERT_TRUE(ini.WritePrivateProfileString("PREFERENCES", "AUTOEXIT", "1", file));
  std::string expected = before;
  expected.replace(expected.find("AutoExit = 0"), 12, "AutoExit = 1");
  EXPECT_EQ(ReadFile(dir / "xfr.ini"), expected);
  EXPECT_EQ(Get(ini, file, "Preferences", "autoexit"), "1");

  struct stat st;
  ASSERT_EQ(::stat((dir / "xfr.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // No temporary file left beside it, and no second file in another letter case.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  // Writing the same value again leaves the file as it is.
  ASSERT_TRUE(ini.WritePrivateProfileString("PREFERENCES", "AUTOEXIT", "1", file));
  EXPECT_EQ(ReadFile(dir / "xfr.ini"), expected);

  // A symbolic link is followed, and stays a link.
  WriteFile(dir / "real.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(::symlink((dir / "real.ini").c_str(), (dir / "link.ini").c_str()), 0);
  ASSERT_TRUE(ini.WritePrivateProfileString("S", "k", "2", dir / "link.ini"));
  EXPECT_EQ(ReadFile(dir / "real.ini"), "[S]\r\nk=2\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));

  // A bare file name lives in the Windows directory.
  ScopedEnv windir("XFR_WINDIR", dir.path().c_str());
  ASSERT_TRUE(ini.WritePrivateProfileString("S", "k", "v", "initest_rel.ini"));
  EXPECT_EQ(ReadFile(dir / "initest_rel.ini"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(Get(ini, "INITEST_REL.INI", "s", "K"), "v");
}

TEST(PosixIni, WriterRefusesWhatItCannotWriteSafely) {
  TempDir dir;
  PosixIniService ini;
  std::filesystem::create_directory(dir / "dir.ini");
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  WriteFile(dir / "ok.ini", "[S]\r\nk=v\r\n");
  // A read-only file is left as it is, not replaced by a new one (a mode without write bits
  // stops root too; as another user's file it would keep its owner).
  WriteFile(dir / "ro.ini", "[S]\r\nk=v\r\n");
  ::chmod((dir / "ro.ini").c_str(), 0444);
  struct stat before;
  ASSERT_EQ(::stat((dir / "ro.ini").c_str(), &before), 0);
  struct Case {
    std::string file, section, key, value;
  } cases[] = {{dir / "missing-dir/x.ini", "S", "k", "v"},  // the directory is not created
               {dir / "dir.ini", "S", "k", "v"},            // not a regular file
               {dir / "fifo.ini", "S", "k", "v"},           // would block a reader
               {dir / "ok.ini", "S", "k", "two\r\nlines"},  // would add a line
               {dir / "ok.ini", "S", "k", std::string("nul\0", 4)},
               {dir / "ok.ini", "S", "a=b", "v"},
               {dir / "ok.ini", "S", "[k]", "v"},
               {dir / "ok.ini", "", "k", "v"},
               {dir / "ok.ini", "S", "  ", "v"},
               {dir / "ok.ini", "S\n[T]", "k", "v"},
               {"Q:\\unmapped.ini", "S", "k", "v"},
               {dir / "ro.ini", "S", "k", "changed"}};
  ScopedEnv no_drive("XFR_DRIVE_Q", nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " [" + c.section + "] " + c.key);
    EXPECT_FALSE(ini.WritePrivateProfileString(c.section, c.key, c.value, c.file));
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "dir.ini"));
  EXPECT_EQ(ReadFile(dir / "ok.ini"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(ReadFile(dir / "ro.ini"), "[S]\r\nk=v\r\n");
  struct stat after;
  ASSERT_EQ(::stat((dir / "ro.ini").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
}

TEST(PosixIni, ReadsMalformedFilesIntoAnyBufferAndFindsTheWindowsDirectory) {
  std::string binary(4096, '\0');  // bytes of every value, in no order
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 40503 >> 5);
  std::string long_line = "[S]\r\nk=" + std::string(1 << 20, 'x') + "\r\nj=after\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    const char* key;
    std::string expected;
  } cases[] = {{"binary then section", binary + "\n[S]\nk=v\n", "k", "v"},
               {"nul bytes", std::string("[S]\0\nk=a\0b\n", 11), "k", std::string("a\0b", 3)},
               {"1 MB line", long_line, "j", "after"},
               {"1 MB line cut", long_line, "k", std::string(255, 'x')},
               {"unclosed header", "[S\r\nk=v\r\n", "k", "dflt"},
               {"lone CRs", "\r\r\r[S]\r\r\rk=v\r\r", "k", "v"},
               {"pre-section key of the same name", "new=0\nk=0\n[S]\n", "k", "dflt"}};
  TempDir dir;
  PosixIniService ini;
  const std::string file = dir / "bad.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file, c.bytes);
    EXPECT_EQ(Get(ini, file, "S", c.key), c.expected);
    ASSERT_TRUE(ini.WritePrivateProfileString("S", "new", "1", file));
    const std::string after = ReadFile(file);
    EXPECT_EQ(Get(ini, file, "S", "new"), "1");
    // Every byte of the old file is still there, in order: the write only inserted text.
    std::size_t prefix = 0;
    while (prefix < c.bytes.size() && after[prefix] == c.bytes[prefix]) ++prefix;
    EXPECT_TRUE(after.ends_with(c.bytes.substr(prefix)));
  }
  // The buffer's edges (a value cut or just fitting: the observed rows): the count, and the
  // whole buffer afterwards.
  WriteFile(file, "[S]\r\nk=abc\r\n");
  const struct {
    std::uint32_t size, count;
    std::string buffer;
  } edges[] = {{0, 0, ""}, {1, 0, std::string("\0", 1)}, {6, 3, std::string("abc\0**", 6)}};
  for (const auto& c : edges) {
    std::string buffer(c.size, '*');
    EXPECT_EQ(ini.GetPrivateProfileString("S", "k", "", &buffer, c.size, file), c.count) << c.size;
    EXPECT_EQ(buffer, c.buffer) << c.size;
  }

  // The Windows directory, from the environment or made in the configuration directory.
  std::string config = dir / "config";
  const struct {
    const char* windir;
    const char* xdg;
    std::string expected;
  } dirs[] = {{"/srv/office/win/", nullptr, "\\srv\\office\\win"},
              {"C:\\WINDOWS\\", nullptr, "C:\\WINDOWS"},
              {"c:", nullptr, "c:"},
              {"", config.c_str(), dir.windows() + "\\config\\transfer-info"},
              {nullptr, config.c_str(), dir.windows() + "\\config\\transfer-info"}};
  for (const auto& c : dirs) {
    SCOPED_TRACE(c.windir ? c.windir : "(unset)");
    ScopedEnv windir("XFR_WINDIR", c.windir);
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    std::string buffer(144, ' ');
    std::uint32_t n = ini.GetWindowsDirectory(&buffer, 144);
    EXPECT_EQ(buffer.substr(0, n), c.expected);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(buffer.size(), 144u);
  }
  // The default directory is made on first use, and maps back to itself.
  EXPECT_TRUE(std::filesystem::is_directory(config + "/transfer-info"));
  ScopedEnv windir("XFR_WINDIR", nullptr);
  ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
  std::string buffer(144, ' ');
  std::uint32_t n = ini.GetWindowsDirectory(&buffer, 144);
  PosixFileSystem files;
  EXPECT_EQ(files.NativePath(buffer.substr(0, n) + "\\"), config + "/transfer-info/");
  // A name that does not fit is not cut: the caller learns the size it needs.
  EXPECT_EQ(ini.GetWindowsDirectory(&buffer, n), n + 1);  // too small: the size it needs
  EXPECT_EQ(ini.GetWindowsDirectory(&buffer, n + 1), n);
}

}  // namespace
}  // namespace xfr
