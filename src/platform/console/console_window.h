// The window services on a terminal: each message box is printed and answered from the keyboard,
// or from the answers given on the command line (--answer for Yes/No questions, --on-error for
// the Abort/Retry/Ignore report). An OK-only box never waits when standard input is not a
// terminal; a Yes/No question with neither a terminal nor --answer ends the program (EndProgram
// with status 2) before anything is written, and end of input at it answers No. With a
// transcript file, every message box, trace box and status-line change is appended as one JSON
// object per line. A box's details are printed after its text, and are the "details" member of
// its line in the transcript.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/window.h"

namespace xfr {

struct ConsoleOptions {
  std::optional<Answer> yes_no;    // --answer yes|no
  std::optional<Answer> on_error;  // --on-error abort|retry|ignore
  std::string transcript;          // --transcript FILE ("" for none)
  bool interactive = false;        // standard input is a terminal
};

class ConsoleWindow : public WindowServices {
 public:
  // `files` resolves picture paths; out and in are the terminal.
  ConsoleWindow(ConsoleOptions options, FileSystem* files, std::FILE* out = stdout,
                std::FILE* in = stdin);
  ~ConsoleWindow() override;

  using WindowServices::MessageBox;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                    std::string_view details) override;
  void TraceBox(std::string_view text) override;
  void SetPointer(Pointer pointer) override;
  Picture LoadPicture(std::string_view path) override;
  void StatusChanged(std::string_view text, bool visible) override;
  // "note: PATH is NATIVE on this machine. REASON", or which XFR_DRIVE_<LETTER> is not set.
  void FileNote(std::string_view path, std::string_view reason) override;
  // "note: TEXT".
  void Note(std::string_view text) override;

  // Writes one line of the transcript (a JSON object), when there is a transcript.
  void Log(const std::string& json_object);

  // The message boxes shown so far (trace boxes left out) and whether a file note was shown.
  struct Shown {
    std::string title, text;
    Buttons buttons;
    Answer answer;
  };
  const std::vector<Shown>& shown() const { return shown_; }
  bool noted_missing_file() const { return noted_; }

 private:
  Answer Show(std::string_view kind, std::string_view text, std::string_view title,
              Buttons buttons, std::string_view details = {});
  std::optional<Answer> Ask(Buttons buttons);

  ConsoleOptions options_;
  FileSystem* files_;
  std::FILE* out_;
  std::FILE* in_;
  std::FILE* transcript_ = nullptr;
  std::vector<Shown> shown_;
  bool noted_ = false;
};

// "yes" -> kYes and so on; nullopt for anything else.
std::optional<Answer> ParseAnswer(std::string_view word);
std::string_view AnswerName(Answer answer);

}  // namespace xfr
