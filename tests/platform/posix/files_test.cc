// PosixFileSystem in a temporary directory: Windows paths mapped to native ones, names found in
// any letter case, and what only this build's file operations meet.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix/posix_files.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

using testing::ErrorOf;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

// Windows paths mapped to native ones (and relative ones from the working directory), the exact
// name before another letter case, and the first line of any bytes (the hand-off fuzz target's).
TEST(PosixFiles, PathsNamesAndFirstLines) {
  TempDir dir;
  const std::string office = dir / "Office";
  std::filesystem::create_directories(office + "/TrkData");
  WriteFile(office + "/TrkData/property.DBF", "0123456789");
  WriteFile(office + "/TrkData/Trk.Ini", "[DIRECTORIES]\r\n");
  WriteFile(office + "/xfr.dat", "A123\r\nsecond line\r\n");
  ScopedEnv drive("XFR_DRIVE_Q", office.c_str()), unmapped("XFR_DRIVE_U", nullptr);
  PosixFileSystem fs;
  struct Case {
    std::string windows, native;
  } cases[] = {
      {"Q:\\TRKDATA\\PROPERTY.DBF", office + "/TrkData/property.DBF"},
      {"q:\\trkdata\\trk.ini", office + "/TrkData/Trk.Ini"},
      {"Q:/TrkData//TRK.INI", office + "/TrkData/Trk.Ini"},
      {"Q:\\TRKDATA\\", office + "/TrkData/"},
      {"Q:", office},
      {"Q:XFR.DAT", office + "/xfr.dat"},
      // Components that do not exist are kept as written, and so is everything after them.
      {"Q:\\trkdata\\New\\TRK.INI", office + "/TrkData/New/TRK.INI"},
      {"Q:\\TRKDATA\\..\\XFR.DAT", office + "/TrkData/../xfr.dat"},
      // A leading backslash is the root of the file system.
      {dir.windows() + "\\OFFICE\\XFR.DAT", office + "/xfr.dat"},
      {"U:\\anything", ""},
      {std::string("Q:\\xfr.dat\0x", 12), ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(fs.NativePath(c.windows), c.native) << c.windows;
  // An unmapped drive, and a directory read as text (beyond tests/platform/files_test.cc).
  EXPECT_TRUE(fs.ListPath("U:\\").empty());
  EXPECT_EQ(ErrorOf([&] { fs.FileLength("U:\\X"); }), kErrFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs.ReadFirstLine("Q:\\TRKDATA"); }), 75);

  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(office);
  const std::string native = fs.NativePath("TRKDATA\\TRK.INI");
  const std::int64_t length = fs.FileLength("XFR.DAT");
  std::filesystem::current_path(old);
  EXPECT_EQ(native, "TrkData/Trk.Ini");
  EXPECT_EQ(length, 19);

  WriteFile(office + "/XFR.DAT", "upper");
  EXPECT_EQ(fs.NativePath("Q:\\XFR.DAT"), office + "/XFR.DAT");
  EXPECT_EQ(fs.NativePath("Q:\\xfr.dat"), office + "/xfr.dat");
  // Neither spelling exact: the first in byte order, whatever the directory's order.
  EXPECT_EQ(fs.NativePath("Q:\\Xfr.Dat"), office + "/XFR.DAT");

  for (const auto& [bytes, line] : {std::pair<std::string, std::string>{"A1\rB", "A1"},
                                    {"\r\nA1", ""},
                                    {std::string(10000, 'x') + "\nB", std::string(10000, 'x')}}) {
    WriteFile(office + "/line.txt", bytes);
    EXPECT_EQ(fs.ReadFirstLine("Q:\\LINE.TXT"), line);
  }
}

}  // namespace
}  // namespace xfr
