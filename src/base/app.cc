#include "base/app.h"

#include "base/text.h"

namespace xfr {

std::string App::NativePath(std::string_view path) const {
  return services_.files ? services_.files->NativePath(path) : std::string(path);
}

void App::SetProc(std::string_view name) {
  current_proc_name_ =
      Utf8Left(std::string(name) + std::string(kProcNameWidth, ' '), kProcNameWidth);
}

}  // namespace xfr
