#include "base/app.h"

#include "base/text.h"

namespace xfr {

void App::SetProc(std::string_view name) {
  current_proc_name_ =
      Utf8Left(std::string(name) + std::string(kProcNameWidth, ' '), kProcNameWidth);
}

}  // namespace xfr
