// PosixFileSystem in a temporary directory: Windows paths mapped to native ones, names found in
// any letter case, and what only this build's file operations meet.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

class PosixFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "Office/TrkData");
    WriteFile(dir_ / "Office/TrkData/property.DBF", "0123456789");
    WriteFile(dir_ / "Office/TrkData/Trk.Ini", "[DIRECTORIES]\r\n");
    WriteFile(dir_ / "Office/xfr.dat", "A123\r\nsecond line\r\n");
  }

  TempDir dir_;
  ScopedEnv drive_{"XFR_DRIVE_Q", (dir_ / "Office").c_str()};
  ScopedEnv unmapped_{"XFR_DRIVE_U", nullptr};
  PosixFileSystem fs_;
};

TEST_F(PosixFilesTest, NativePathMapsDrivesSeparatorsAndCase) {
  const std::string office = dir_ / "Office";
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
      {dir_.windows() + "\\OFFICE\\XFR.DAT", office + "/xfr.dat"},
      {"U:\\anything", ""},
      {std::string("Q:\\xfr.dat\0x", 12), ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windows);
    EXPECT_EQ(fs_.NativePath(c.windows), c.native);
  }
  // An unmapped drive, and a directory read as text (beyond tests/platform/files_test.cc).
  EXPECT_TRUE(fs_.ListPath("U:\\").empty());
  EXPECT_EQ(ErrorOf([&] { fs_.FileLength("U:\\X"); }), kErrFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs_.ReadFirstLine("Q:\\TRKDATA"); }), 75);
}

TEST_F(PosixFilesTest, RelativePathsStartAtWorkingDirectory) {
  char old[PATH_MAX];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir((dir_ / "Office").c_str()), 0);
  std::string native = fs_.NativePath("TRKDATA\\TRK.INI");
  std::int64_t length = fs_.FileLength("XFR.DAT");
  ASSERT_EQ(::chdir(old), 0);
  EXPECT_EQ(native, "TrkData/Trk.Ini");
  EXPECT_EQ(length, 19);
}

TEST_F(PosixFilesTest, ExactNameWinsOverOtherCase) {
  WriteFile(dir_ / "Office/XFR.DAT", "upper");
  EXPECT_EQ(fs_.NativePath("Q:\\XFR.DAT"), dir_ / "Office/XFR.DAT");
  EXPECT_EQ(fs_.NativePath("Q:\\xfr.dat"), dir_ / "Office/xfr.dat");
  // Neither spelling exact: the first in byte order, whatever the directory's order.
  EXPECT_EQ(fs_.NativePath("Q:\\Xfr.Dat"), dir_ / "Office/XFR.DAT");
}

// Any bytes at all: the hand-off fuzz target.
TEST_F(PosixFilesTest, FirstLineEndsAtAnyLineEnd) {
  struct Case {
    std::string bytes, line;
  } cases[] = {
      {"A1\rB", "A1"},
      {"\r\nA1", ""},
      {std::string(10000, 'x') + "\nB", std::string(10000, 'x')},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "Office/line.txt", c.bytes);
    EXPECT_EQ(fs_.ReadFirstLine("Q:\\LINE.TXT"), c.line);
  }
}

}  // namespace
}  // namespace xfr
