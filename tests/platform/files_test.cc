// The file operations as the program sees them, on this build's FileSystem (PosixFileSystem or
// Win32FileSystem): Dir's answers and the error numbers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime_error.h"
#include "profile_service.h"  // this build's FileService
#include "support/error_of.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

using testing::ErrorOf;

TEST(Files, ListingAndErrorNumbers) {
  testing::TempDir dir("xfr-files-");
  std::filesystem::create_directories(dir / "TrkData/SubDir");
  std::filesystem::create_directories(dir / "Empty");
  testing::WriteFile(dir / "TrkData/property.DBF", "0123456789");
  testing::WriteFile(dir / "TrkData/empty.txt", "");
  testing::WriteFile(dir / "xfr.dat", "A123\r\nsecond line\r\n");
  const std::string d = dir.windows() + "\\";  // on Linux, a leading "\" is the root
  FileService fs;
  EXPECT_EQ(fs.ListPath(d + "TRKDATA\\"), (std::vector<std::string>{"empty.txt", "property.DBF"}));
  EXPECT_EQ(fs.ListPath(d + "TRKDATA\\PROPERTY.DBF"), std::vector<std::string>{"property.DBF"});
  for (const char* none : {"TRKDATA", "EMPTY\\", "MISSING\\", "TRKDATA\\*", "TRKDATA\\NONE.DBF"}) {
    EXPECT_TRUE(fs.ListPath(d + none).empty()) << none;
  }
  const struct {
    const char* what;
    std::function<void()> run;
    int error;
  } cases[] = {
      {"length", [&] { EXPECT_EQ(fs.FileLength(d + "TRKDATA\\PROPERTY.DBF"), 10); }, 0},
      {"length of an empty file", [&] { EXPECT_EQ(fs.FileLength(d + "TRKDATA\\EMPTY.TXT"), 0); },
       0},
      {"length of a missing file", [&] { fs.FileLength(d + "NONE"); }, kErrFileNotFound},
      {"length of a directory", [&] { fs.FileLength(d + "TRKDATA"); }, kErrFileNotFound},
      {"first line", [&] { EXPECT_EQ(fs.ReadFirstLine(d + "XFR.DAT"), "A123"); }, 0},
      {"first line of an empty file", [&] { fs.ReadFirstLine(d + "TRKDATA\\EMPTY.TXT"); },
       kErrInputPastEnd},
      {"first line of a missing file", [&] { fs.ReadFirstLine(d + "NONE.DAT"); }, kErrFileNotFound},
      {"delete a directory", [&] { fs.DeleteFile(d + "TRKDATA\\SUBDIR"); }, 75},
      {"delete in another case", [&] { fs.DeleteFile(d + "XFR.DAT"); }, 0},
      {"delete it again", [&] { fs.DeleteFile(d + "XFR.DAT"); }, kErrFileNotFound}};
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.run), c.error) << c.what;
  EXPECT_TRUE(std::filesystem::is_directory(dir / "TrkData/SubDir"));
  EXPECT_FALSE(std::filesystem::exists(dir / "xfr.dat"));
}

}  // namespace
}  // namespace xfr
