#include "platform/files.h"

#include "platform/runtime_error.h"

namespace xfr {

std::string ReadFirstLineOf(const std::function<std::size_t(char* chunk, std::size_t size)>& read,
                            bool* line_ended) {
  std::string line;
  bool any = false;
  bool ended = false;
  char chunk[4096];
  while (line.size() < kMaxFirstLine) {
    const std::size_t n = read(chunk, sizeof chunk);
    if (n == 0) break;
    any = true;
    std::string_view got(chunk, n);
    const std::size_t eol = got.find_first_of("\r\n");
    line.append(got.substr(0, eol));
    if (eol != std::string_view::npos) {
      ended = true;
      break;
    }
  }
  if (!any) throw RuntimeError(kErrInputPastEnd);
  if (line.size() >= kMaxFirstLine) {
    line.resize(kMaxFirstLine);
    ended = true;
  }
  if (line_ended) *line_ended = ended;
  return line;
}

}  // namespace xfr
