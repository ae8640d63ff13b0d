#include "shell/startup.h"

#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"
#include "util/paths.h"

namespace xfr {

std::string GetWindowsDir(App& app) {
  std::uint32_t size = 144;
  std::string buffer;
  std::uint32_t n = app.services().ini->GetWindowsDirectory(&buffer, size);
  if (n >= size) {
    // A longer directory than the classic buffer holds: ask again with room for it.
    size = n + 1;
    n = app.services().ini->GetWindowsDirectory(&buffer, size);
    if (n >= size) return "";
  }
  if (n == 0) return "";
  return buffer.substr(0, n) + "\\";
}

bool TraceEnabled(const App& app) {
  // "/D" in any case as an argument of its own; a path that holds "/d" (/home/dave) is not one.
  // Arguments are separated by blanks; one in double quotes may hold blanks ("" is a quote).
  const std::string& line = app.command_line();
  std::string arg;
  bool quoted = false;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : ' ';
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      arg += c;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (UCase(arg) == "/D") return true;
      arg.clear();
    } else {
      arg += c;
    }
  }
  return false;
}

void TraceSetting(App& app, std::string_view label, std::string_view value) {
  if (!TraceEnabled(app)) return;
  std::string text = std::string(label) + std::string(value) + DescribePath(app, value);
  app.window().TraceBox(text);
}

std::string DescribePath(App& app, std::string_view path) {
  if (FileExists(app, path)) return " Exists";
  bool listed = false;
  try {
    listed = !app.services().files->ListPath(path).empty();
  } catch (const RuntimeError&) {
    listed = false;
  }
  if (!listed) return "IS REFERENCED BUT IT IS MISSING!";
  return " appears to be a valid directory";
}

void Initialize(App& app) {
  StepRunner run(app, "Initialize");
  Config& c = app.config;
  auto dir = [&](std::string_view ini, std::string_view key) {
    std::string value = ReadIniString(app, ini, "DIRECTORIES", key, "");
    return CkRSlash(app, value);
  };
  auto step = [&](auto&& fn) { return run.Step(fn); };
  if (!step([&] {
        c.WinDir = GetWindowsDir(app);
        TraceSetting(app, "Windows Directory:", c.WinDir);
      }))
    return;
  if (!step([&] {
        c.XfrIni = c.WinDir + "XFR.INI";
        TraceSetting(app, "Ini file:", c.XfrIni);
      }))
    return;
  if (!step([&] {
        c.ApxIni = c.WinDir + "APX.INI";
        TraceSetting(app, "APX Ini file:", c.ApxIni);
      }))
    return;
  if (!step([&] {
        c.TrkIni = c.WinDir + "Trk.Ini";
        TraceSetting(app, "Trk Ini file:", c.TrkIni);
      }))
    return;
  if (!step([&] {
        c.DataDir = dir(c.TrkIni, "DATADIR");
        TraceSetting(app, "TRK Data Dir:", c.DataDir);
      }))
    return;
  if (!step([&] {
        c.ApxAppDir = dir(c.ApxIni, "APPDIR");
        TraceSetting(app, "Application file:", c.ApxAppDir);
      }))
    return;
  if (!step([&] {
        c.ApxPrivateDir = dir(c.ApxIni, "PRIVATEDIR");
        TraceSetting(app, "Apx Private Dir:", c.ApxPrivateDir);
      }))
    return;
  step([&] {
    c.TrkAppDir = dir(c.TrkIni, "APPDIR");
    TraceSetting(app, "Trk Application Dir:", c.TrkAppDir);
  });
}

void ReadProgramIni(App& app) {
  StepRunner run(app, "ReadProgramIni");
  Config& c = app.config;
  if (!run.Step([&] {
        std::string value = ReadIniString(app, c.ApxIni, "DIRECTORIES", "APPDIR", "");
        c.ApxAppDir = CkRSlash(app, value);
        TraceSetting(app, "Apx Application Dir:", c.ApxAppDir);
      }))
    return;
  run.Step([&] {
    std::string value = ReadIniString(app, c.TrkIni, "DIRECTORIES", "DATADIR", "");
    c.DataDir = CkRSlash(app, value);
    TraceSetting(app, "Data Dir:", c.DataDir);
  });
}

void PreviousInstance(App& app) {
  StepRunner run(app, "PreviousInstance");
  bool another = false;
  if (!run.Step([&] { another = app.services().instance->AnotherInstanceRunning(); })) return;
  if (!another) return;
  app.window().MessageBox(kAlreadyRunningMessage, kAppTitle, Buttons::kOk);
  const std::string holder = app.services().instance->Holder();
  if (!holder.empty()) app.window().Note(holder);
  throw EndProgram{0};
}

}  // namespace xfr

