#include "shell/startup.h"

#include <gtest/gtest.h>

#include "base/error_report.h"
#include "fakes/harness.h"

namespace xfr {
namespace {

TEST(ReadIniString, GrowingBufferAndCut) {
  struct Case {
    std::size_t length, want;
    int reads;
  } cases[] = {{0, 0, 1}, {253, 253, 1}, {254, 254, 2}, {255, 255, 2}, {600, 600, 3}};
  for (const auto& c : cases) {
    testing::Harness h;
    h.ini.Set("C:\\WINDOWS\\XFR.INI", "S", "K", std::string(c.length, 'v'));
    EXPECT_EQ(ReadIniString(h.app, "C:\\WINDOWS\\XFR.INI", "s", "k", "dflt").size(), c.want)
        << c.length;
    EXPECT_EQ(h.ini.reads, c.reads) << c.length;
  }
  // The default for a missing key: the exit preference's tests (lifecycle_test.cc). A reader
  // that never stops cannot hold the program.
  testing::Harness h;
  class Stuck : public testing::FakeIni {
   public:
    std::uint32_t GetPrivateProfileString(std::string_view, std::string_view, std::string_view,
                                          std::string* buffer, std::uint32_t size,
                                          std::string_view) override {
      buffer->assign(size, 'x');
      return size - 2;
    }
  } stuck;
  App app(Services{&stuck, &h.files, nullptr, &h.window}, "");
  EXPECT_EQ(ReadIniString(app, "F", "S", "K", "").size(), 64u * 1024 - 2);
}

TEST(Initialize, FillsTheConfiguration) {
  testing::Harness h;
  h.ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK");
  h.ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK\\");
  h.ini.Set("C:\\WINDOWS\\APX.INI", "DIRECTORIES", "APPDIR", "   ");
  h.ini.Set("C:\\WINDOWS\\APX.INI", "directories", "privatedir", "D:\\APX\\PRIV");
  Initialize(h.app);
  const Config& c = h.app.config;
  EXPECT_EQ(c.WinDir + "|" + c.XfrIni + "|" + c.ApxIni + "|" + c.TrkIni,
            "C:\\WINDOWS\\|C:\\WINDOWS\\XFR.INI|C:\\WINDOWS\\APX.INI|C:\\WINDOWS\\Trk.Ini");
  EXPECT_EQ(c.DataDir + "|" + c.TrkAppDir + "|" + c.ApxAppDir + "|" + c.ApxPrivateDir,
            "C:\\TRK\\|C:\\TRK\\||D:\\APX\\PRIV\\");
  EXPECT_TRUE(h.window.boxes.empty());

  // No Windows directory gives bare file names; a long one is kept whole.
  for (std::string dir : {std::string(), "\\home\\" + std::string(200, 'a')}) {
    testing::Harness other;
    other.ini.windows_dir = dir;
    Initialize(other.app);
    EXPECT_EQ(other.app.config.WinDir, dir.empty() ? "" : dir + "\\");
    EXPECT_EQ(other.app.config.XfrIni, other.app.config.WinDir + "XFR.INI");
  }
}

TEST(TraceSetting, TenBoxesWithSlashDNoneWithout) {
  struct Case {
    std::string command_line;
    std::size_t boxes;
  } cases[] = {{"/d", 10}, {"read /D", 10}, {"", 0}, {"-d", 0}, {"\"/D\"", 10}, {"/home/dave", 0}};
  for (const auto& c : cases) {
    testing::Harness h(c.command_line);
    Initialize(h.app);
    ReadProgramIni(h.app);
    EXPECT_EQ(h.window.boxes.size(), c.boxes) << c.command_line;
  }
  testing::Harness h("/D");
  h.files.Put("C:\\WINDOWS\\XFR.INI", "[PREFERENCES]\r\nAUTOEXIT=1\r\n");
  Initialize(h.app);
  ASSERT_GE(h.window.boxes.size(), 3u);
  EXPECT_EQ(h.window.boxes[0].text + "|" + h.window.boxes[1].title + ": " +
                h.window.boxes[1].text + "|" + h.window.boxes[2].text,
            "Windows Directory:C:\\WINDOWS\\ appears to be a valid directory|Transfer Info: Ini "
            "file:C:\\WINDOWS\\XFR.INI Exists|APX Ini file:C:\\WINDOWS\\APX.INIIS REFERENCED BUT "
            "IT IS MISSING!");

  // The three answers of DescribePath.
  h.files.Put("C:\\TRK\\PROPERTY.DBF", "x");
  h.files.Put("C:\\EMPTYFILE", "");
  const std::string dir = " appears to be a valid directory";
  const std::string none = "IS REFERENCED BUT IT IS MISSING!";
  // An empty file is listed, but is not "Exists".
  for (const auto& [path, want] : {std::pair{"C:\\TRK\\PROPERTY.DBF", std::string(" Exists")},
                                   {"C:\\TRK\\", dir}, {"C:\\NONE\\", none}, {"", none},
                                   {"C:\\EMPTYFILE", dir}})
    EXPECT_EQ(DescribePath(h.app, path), want) << path;
}

}  // namespace
}  // namespace xfr
