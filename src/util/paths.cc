#include "util/paths.h"

#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

std::string CkRSlash(App& app, std::string& path) {
  StepRunner run(app, "CkRSlash");
  std::string result;
  run.Step([&] {
    std::string trimmed = VbTrim(path);
    if (trimmed.empty()) return;
    if (trimmed.back() != '\\') path = trimmed + "\\";
    result = VbTrim(path);
  });
  return result;
}

std::string StripRChar(App& app, std::string& path) {
  StepRunner run(app, "StripRChar");
  run.Step([&] {
    path = VbTrim(path);
    if (!path.empty() && path.back() == '\\') path.pop_back();
  });
  return VbTrim(path);
}

bool FileExists(App& app, std::string_view path) {
  app.SetProc("FileExists");
  try {
    return app.services().files->FileLength(path) >= 1;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace xfr
