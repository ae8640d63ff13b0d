// libFuzzer target for the INI engine: any bytes as a file, any names and value. Checks that
// lookups never crash, that a written key reads back as written, that a write changes one line
// or inserts lines in one place, and that it leaves another key's value alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/ini_text.h"
#include "support/changes_one_line.h"

namespace {

bool SameName(std::string a, std::string b) {
  auto norm = [](std::string& s) {
    s.erase(0, s.find_first_not_of(" \t\v\f"));
    s.erase(s.find_last_not_of(" \t\v\f") + 1);
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  norm(a);
  norm(b);
  return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string section = input.ConsumeRandomLengthString(32);
  std::string key = input.ConsumeRandomLengthString(32);
  std::string value = input.ConsumeRandomLengthString(64);
  std::string other_section = input.ConsumeRandomLengthString(32);
  std::string other_key = input.ConsumeRandomLengthString(32);
  std::string text = input.ConsumeRemainingBytesAsString();

  (void)xfr::IniLookup(text, section, key);
  auto other_before = xfr::IniLookup(text, other_section, other_key);
  if (!xfr::IniWritable(section, key, value)) return 0;

  std::string updated = xfr::IniUpdate(text, section, key, value);
  if (xfr::IniLookup(updated, section, key) != xfr::IniValueAsRead(value)) std::abort();
  if (!xfr::testing::ChangesOneLineOnly(text, updated)) std::abort();
  if (!(SameName(section, other_section) && SameName(key, other_key)) &&
      xfr::IniLookup(updated, other_section, other_key) != other_before) {
    std::abort();
  }
  return 0;
}
