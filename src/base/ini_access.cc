#include "base/ini_access.h"

#include <cstdint>

namespace xfr {

namespace {
// The growing-buffer loop stops here whatever the reader answers, so a reader that keeps
// answering "size - 2" cannot hold the program.
constexpr std::uint32_t kMaxIniBuffer = 64 * 1024;
}  // namespace

std::string ReadIniString(App& app, std::string_view file, std::string_view section,
                          std::string_view key, std::string_view default_value) {
  std::uint32_t size = 0;
  std::uint32_t count = 0;
  std::string buffer;
  do {
    size += 256;
    buffer.assign(size, ' ');
    count = app.services().ini->GetPrivateProfileString(section, key, default_value, &buffer, size,
                                                        file);
    // A reader that cut the value answers size-1 (the profile API) or size-2: ask again with
    // more room.
  } while (count + 2 >= size && size < kMaxIniBuffer);
  if (count < 1) return "";
  if (count > buffer.size()) count = static_cast<std::uint32_t>(buffer.size());
  return buffer.substr(0, count);
}

void WriteIniString(App& app, std::string_view file, std::string_view section, std::string_view key,
                    std::string_view value) {
  app.services().ini->WritePrivateProfileString(section, key, value, file);
}

}  // namespace xfr
