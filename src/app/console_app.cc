#include "app/console_app.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/error_report.h"
#include "base/text.h"
#include "form/main_window.h"
#include "link/link_check.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "store/lookup.h"
#include "transfer/read_driver.h"
#include "transfer/send_driver.h"
#include "transfer/undo.h"

namespace xfr {

namespace {

void PrintConfig(const Config& c) {
  auto line = [](const char* name, const std::string& value) {
    std::printf("  %-14s %s\n", name, value.empty() ? "(empty)" : value.c_str());
  };
  std::printf("Configuration found:\n");
  line("WinDir", c.WinDir);
  line("XfrIni", c.XfrIni);
  line("ApxIni", c.ApxIni);
  line("TrkIni", c.TrkIni);
  line("DataDir", c.DataDir);
  line("ApxAppDir", c.ApxAppDir);
  line("ApxPrivateDir", c.ApxPrivateDir);
  line("TrkAppDir", c.TrkAppDir);
}

// One argument as the command line text carries it: in double quotes when it holds a blank or
// a quote (a quote doubled), so that "/D" inside a path never reads as the trace switch.
std::string CommandLineWord(const std::string& arg) {
  if (arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  for (char c : arg) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// An error report about a file that is not there or cannot be opened.
bool MissingFileReport(const ConsoleWindow::Shown& box) {
  const std::size_t at = box.text.rfind("Error #");
  if (box.title != "Error" || at == std::string::npos) return false;
  const int number = std::atoi(box.text.c_str() + at + 7);
  for (int missing : {int{kErrFileNotFound}, 70, 75, 76, int{kErrTableNotFound}, 3044, 3051}) {
    if (number == missing) return true;
  }
  return false;
}

// An error report answered Retry whose failing step then ran again. The read's own last report
// ends the read whatever the answer.
bool RetriedStep(const ConsoleWindow::Shown& box) {
  return box.buttons == Buttons::kAbortRetryIgnore && box.answer == Answer::kRetry &&
         box.text.find(" in module CmdRead_Click.") == std::string::npos;
}

// The exit status from what the command showed; `status` is the command's own (0, 1 or 2).
int ExitStatusOf(const ConsoleWindow& window, const std::string& name, int status) {
  if (status == kExitUsage) return status;
  const auto& shown = window.shown();
  for (const auto& box : shown) {
    if (box.text == kCorruptTablesMessage) return kExitDamaged;
  }
  if (window.noted_missing_file()) return kExitFilesMissing;
  for (const auto& box : shown) {
    if (MissingFileReport(box)) return kExitFilesMissing;
  }
  if (status != kExitDone) return kExitNotDone;
  if (name == "undo") return kExitDone;  // its last box says what it put back
  bool said_yes = false;
  for (const auto& box : shown) {
    if (RetriedStep(box)) continue;  // what followed says how the command went on
    if (box.buttons != Buttons::kYesNo) return kExitNotDone;  // a message or an error report
    if (box.answer == Answer::kNo) return kExitNotDone;
    said_yes = true;
  }
  // A read that asked nothing found no report to read.
  return name == "read" && !said_yes ? kExitNotDone : kExitDone;
}

const char* ExitMeaning(int status) {
  switch (status) {
    case kExitDone: return "done";
    case kExitNotDone: return "ended without transferring";
    case kExitUsage: return "usage: a bad command line or a question nobody could answer";
    case kExitFilesMissing: return "tables or INI files missing or unreadable";
    case kExitDamaged: return "the tables are damaged";
  }
  return "";
}

}  // namespace

const char kExitStatusHelp[] =
    "\n"
    "Exit statuses of --console:\n"
    "  0  the command did what was asked\n"
    "  1  it ended on one of the program's messages without transferring (no report open, no\n"
    "     appraisal program or no session bus to reach it, answered No, job not found); undo:\n"
    "     nothing to undo, or refused\n"
    "  2  a bad command line, or a question with neither a terminal nor --answer to answer it\n"
    "     (nothing is written; end of input at a question answers No)\n"
    "  3  the tables or the INI files are missing or unreadable\n"
    "  4  the tables are damaged\n"
    "  The transcript's last line gives the status and what it means.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "transfer-info: %s\nTry 'transfer-info --help'.\n", message.c_str());
  return kExitUsage;
}

bool PrintHelpOrVersion(const CommandLine& line, const char* head, const char* more_options) {
  if (line.version) {
    std::puts("Transfer Info 5.1.2");
    return true;
  }
  if (!line.help) return false;
  std::fputs(head, stdout);
  std::fputs(
      "\n"
      "Console commands:\n"
      "  (none)            start up, load the tables and show the configuration found\n"
      "  show [FILE_NUM]   show the current (or the given) property record and its client\n"
      "  read              Read Info from Appraisal\n"
      "  send [FILE_NUM]   Send Info To Appraisal (the given record, or the current one)\n"
      "  link-test         ask the appraisal program which reports are open\n"
      "  undo [FILE_NUM]   undo the last read of the given job (or the last read of all) from\n"
      "                    the transfer journal TRANSFER.LOG beside the tables, after asking;\n"
      "                    refuses, writing nothing, when a record changed since that read\n"
      "\n"
      "Options:\n"
      "  --answer yes|no               answer every Yes/No question so\n"
      "  --on-error abort|retry|ignore answer every error report so\n"
      "  --transcript FILE             append every box and status change to FILE (JSON lines)\n"
      "  /D                            show the start-up trace\n"
      "  --help, --version\n",
      stdout);
  std::fputs(more_options, stdout);
  std::fputs(kExitStatusHelp, stdout);
  return true;
}

std::string ParseCommandLine(int argc, char** argv, CommandLine* out) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!out->text.empty()) out->text += ' ';
    out->text += CommandLineWord(arg);
    std::string value;
    auto take = [&] {
      if (i + 1 >= argc) return false;
      value = argv[++i];
      out->text += ' ' + CommandLineWord(value);
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      out->help = true;
    } else if (arg == "--version") {
      out->version = true;
    } else if (arg == "--console") {
      out->console = true;
    } else if (arg == "--answer") {
      if (!take()) return "--answer needs a value";
      out->options.yes_no = ParseAnswer(value);
      if (out->options.yes_no != Answer::kYes && out->options.yes_no != Answer::kNo) {
        return "--answer takes yes or no";
      }
    } else if (arg == "--on-error") {
      if (!take()) return "--on-error needs a value";
      out->options.on_error = ParseAnswer(value);
      if (out->options.on_error != Answer::kAbort && out->options.on_error != Answer::kRetry &&
          out->options.on_error != Answer::kIgnore) {
        return "--on-error takes abort, retry or ignore";
      }
    } else if (arg == "--screenshot") {
      if (!take()) return "--screenshot needs a value";
      out->screenshot = value;
    } else if (arg == "--box-screenshot") {
      if (!take()) return "--box-screenshot needs a value";
      out->box_screenshot = value;
    } else if (arg == "--transcript") {
      if (!take()) return "--transcript needs a value";
      out->options.transcript = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else if (arg == "/D" || arg == "/d") {
      // the trace switch: read from the command line text
    } else {
      out->command.push_back(arg);
    }
  }
  return {};
}

namespace {

// After start-up: which of the Windows directory's INI files, or which key, was not where it is
// looked for. The messages about the tables name only the tables.
void NoteConfiguration(App& app) {
  namespace fs = std::filesystem;
  const Config& c = app.config;
  std::error_code ignored;
  const std::string windir = app.NativePath(c.WinDir);
  const char* set = std::getenv("XFR_WINDIR");
  if (windir.empty() || !fs::is_directory(windir, ignored)) {
    app.window().Note(
        (windir.empty() ? std::string("There is no Windows directory")
                        : "The Windows directory " + windir + " does not exist") +
        (set && *set ? " (XFR_WINDIR)" : "") +
        ", so XFR.INI, APX.INI and Trk.Ini cannot be read: set XFR_WINDIR to the folder that "
        "holds them.");
    return;
  }
  const std::string trk_ini = app.NativePath(c.TrkIni);
  if (!fs::is_regular_file(trk_ini, ignored)) {
    app.window().Note("Trk.Ini is not in the Windows directory " + windir +
                      ": DATADIR, the tables' folder, comes from its [DIRECTORIES] section. Copy "
                      "the tracking program's Trk.Ini there.");
  } else if (c.DataDir.empty()) {
    app.window().Note(trk_ini + " has no DATADIR in [DIRECTORIES], so the tables are looked for "
                      "in the working folder " + fs::current_path(ignored).string() +
                      ": add DATADIR=<the tables' folder> under [DIRECTORIES].");
  }
  if (!fs::is_regular_file(app.NativePath(c.XfrIni), ignored)) {
    app.window().Note("XFR.INI is not in the Windows directory " + windir +
                      ": no form has entries, so a read leaves the form type, census tract, map "
                      "reference and owner blank, and a send does not send them.");
  }
}

}  // namespace

void PrintTrackingColumn(FrmMain& form) {
  std::printf("Tracking column:\n");
  for (TextBox* box : form.TrackingBoxes()) {
    std::printf("  %s=%s%s\n", box->name.c_str(), box->text.c_str(),
                box->visible ? "" : "    (hidden)");
  }
  bool clients = form.txtCli_LName.visible;
  std::printf("Client boxes: %s\n", clients ? "visible" : "hidden");
}

namespace {

// What link-test and a read say when no appraisal program answers (the window's read says
// nothing).
constexpr const char* kNoReport = "No appraisal program answered, or no report is open.";

int RunCommand(App& app, ConsoleWindow& window, const std::string& no_link,
               const std::vector<std::string>& command) {
  std::string name = command.empty() ? "" : command[0];
  std::vector<std::string> args(command.size() > 1 ? command.begin() + 1 : command.end(),
                                command.end());
  if (name != "" && name != "show" && name != "send" && name != "read" && name != "link-test" &&
      name != "undo") {
    std::fprintf(stderr, "transfer-info: unknown command '%s'\n", name.c_str());
    return 2;
  }
  if (args.size() > (name == "show" || name == "send" || name == "undo" ? 1u : 0u)) {
    std::fprintf(stderr, "transfer-info: too many arguments for '%s'\n", name.c_str());
    return 2;
  }
  if (!no_link.empty() && (name == "read" || name == "send" || name == "link-test")) {
    std::fprintf(stderr, "transfer-info: %s\n", no_link.c_str());
    return 1;
  }
  MainWindow form(app);
  try {
    // The window's own start: initialisation, load, activation, first repaint.
    Initialize(app);
    frmMainForm_Load(form);
    NoteConfiguration(app);
    Form_Activate(form);
    Form_Paint(form);
    if (name.empty()) {
      PrintConfig(app.config);
      PrintTrackingColumn(form);
    } else if (name == "show" || name == "send") {
      // Positions as the hand-off file would; a job the window cannot show, named here or
      // handed over, is not replaced by the record it still shows.
      const std::string job = args.empty() ? VbTrim(app.HandOffFileNum) : args[0];
      if (!job.empty() && !GoToJob(form, job)) {
        Form_Unload(form);
        return 1;
      }
      if (name == "show") {
        PrintTrackingColumn(form);
      } else {
        cmdSend_Click(form);
      }
    } else if (name == "read") {
      const std::size_t boxes = window.shown().size();
      CmdRead_Click(form);
      if (window.shown().size() == boxes && !form.LblMsg.visible) {  // the read's quiet end
        std::printf("%s\n", kNoReport);
        window.Log(std::string("{\"kind\":\"note\",\"text\":") + JsonQuote(kNoReport) + "}");
        Form_Unload(form);
        return 1;
      }
      std::printf("Appraisal column:\n");
      for (Label* label : form.AppraisalLabels()) {
        std::printf("  %s=%s\n", label->name.c_str(), label->caption.c_str());
      }
      PrintTrackingColumn(form);
    } else if (name == "undo") {
      const UndoOutcome outcome = UndoLastRead(app, args.empty() ? "" : args[0]);
      Form_Unload(form);
      return outcome == UndoOutcome::kUndone ? 0 : 1;
    } else if (name == "link-test") {
      LinkCheck check = LinkTest(app, form.txtdde);
      if (!check.report_open) {
        std::printf("%s\n", kNoReport);
      } else {
        std::printf("Report:      %s\nForm:        %s\nFile number: %s  (item %s)\n",
                    check.report.c_str(), check.form.c_str(), check.file_number.c_str(),
                    check.file_number_item.c_str());
        if (!check.missing_entries.empty()) {
          // A read leaves these fields blank without a word; say so here.
          std::string sections;
          for (const auto& entry : check.missing_entries) sections += " [" + entry + "]";
          std::printf("XFR.INI has no entry %s= in%s: a read leaves %s blank.\n",
                      check.form.c_str(), sections.c_str(),
                      check.missing_entries.size() == 1 ? "that field" : "those fields");
        }
      }
      Form_Unload(form);
      return check.report_open ? 0 : 1;
    }
    Form_Unload(form);
    return 0;
  } catch (const EndProgram& end) {
    return end.exit_code;
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "transfer-info: %s (error %d)\n", e.description().c_str(), e.number());
    Form_Unload(form);
    return 1;
  }
}

}  // namespace

int RunConsole(App& app, ConsoleWindow& window, const std::vector<std::string>& command,
               const std::string& no_link) {
  const int status =
      ExitStatusOf(window, command.empty() ? "" : command[0],
                   RunCommand(app, window, no_link, command));
  window.Log("{\"kind\":\"exit\",\"status\":" + std::to_string(status) +
             ",\"meaning\":" + JsonQuote(ExitMeaning(status)) + "}");
  return status;
}

std::function<void()> LoggedCommand(RecordingWindow& recorded, FrmMain& form, const char* name,
                                    void (*command)(FrmMain&)) {
  return [&recorded, &form, name, command] {
    recorded.Record(std::string("{\"kind\":\"command\",\"command\":\"") + name +
                    "\",\"file_number\":" + JsonQuote(form.txtFile_Num.text) + "}");
    command(form);
    recorded.Record(std::string("{\"kind\":\"command done\",\"command\":\"") + name +
                    "\",\"file_number\":" + JsonQuote(form.txtFile_Num.text) + "}");
  };
}

}  // namespace xfr
