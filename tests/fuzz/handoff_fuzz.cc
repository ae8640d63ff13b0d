// libFuzzer target for the hand-off file: the input is xfr.dat's content on Linux files (a
// temporary drive C:), read alone and then by the window's repaint. Checks: the real reader
// returns exactly the first line, the file is gone, one box at most and none on the next repaint,
// the key box no wider than the file number.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/text.h"
#include "fakes/office.h"
#include "fuzz/require.h"
#include "platform/posix/posix_files.h"
#include "platform/runtime_error.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"

namespace {

using xfr::testing::Office;

// The temporary drive C: with its WINDOWS directory, made once.
const std::string& DriveRoot() {
  // Kept for the life of the process: the clean-up at exit still needs the name.
  static const std::string* root = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "handoff-XXXXXX").string();
    Require(::mkdtemp(templ.data()) != nullptr, "no temporary directory");
    std::filesystem::create_directory(templ + "/WINDOWS");
    ::setenv("XFR_DRIVE_C", templ.c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(DriveRoot()); });
    return new std::string(templ);
  }();
  return *root;
}

// What the first line of `content` is: up to the first CR or LF, cut at 1 MiB.
std::string FirstLine(const std::string& content) {
  std::string line = content.substr(0, content.find_first_of("\r\n"));
  if (line.size() > (1u << 20)) line.resize(1u << 20);
  return line;
}

void RepaintOverPosixFiles(const std::string& content) {
  const std::string root = DriveRoot();
  const std::string native = root + "/WINDOWS/xfr.dat";
  {
    std::ofstream out(native, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    Require(out.good(), "cannot write the hand-off file");
  }
  xfr::PosixFileSystem files;
  // The reader alone first: exactly the first line, or 62 for an empty file.
  try {
    std::string line = files.ReadFirstLine("C:\\Windows\\XFR.DAT");
    Require(!content.empty(), "an empty file gave a line");
    Require(line == FirstLine(content), "the reader's first line differs");
  } catch (const xfr::RuntimeError& e) {
    Require(content.empty() && e.number() == xfr::kErrInputPastEnd, "the reader raised");
  }

  // Then the window: loaded over the office's tables, repainted twice.
  Office o;
  o.window.error_default = xfr::Answer::kIgnore;
  xfr::App app(xfr::Services{&o.ini, &files, &o.clock, &o.window, &o.tables, &o.dde, &o.instance},
               "");
  xfr::MainWindow form(app);
  xfr::Initialize(app);
  xfr::frmMainForm_Load(form);
  Require(o.window.boxes.empty(), "the office did not load cleanly");
  xfr::Form_Paint(form);
  Require(::access(native.c_str(), F_OK) != 0, "hand-off file left behind");
  Require(o.window.boxes.size() <= (content.empty() ? 1u : 0u), "unexpected box");
  if (!content.empty()) Require(app.HandOffFileNum == FirstLine(content), "wrong first line");
  // The key box shows an upper-cased file number of the table: never wider than FILE_NUM.
  const std::size_t width = static_cast<std::size_t>(form.datproperty.FieldSize("File_Num"));
  Require(form.txtKey.text.size() <= width, "key box wider than the file number");
  bool known = false;
  for (std::size_t i = 0; i < o.property->records.size(); ++i) {
    known |= xfr::VbRTrim(xfr::UCase(o.property->Text(static_cast<int>(i), "FILE_NUM"))) ==
             form.txtKey.text;
  }
  Require(known, "key box shows a number the table does not hold");
  xfr::Form_Paint(form);
  Require(o.window.boxes.size() <= 1u, "a second repaint showed a box");
  std::remove(native.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RepaintOverPosixFiles(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
