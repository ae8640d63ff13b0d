#include "platform/console/console_window.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/app.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {

std::string_view ButtonsName(Buttons b) {
  switch (b) {
    case Buttons::kOk: return "OK";
    case Buttons::kYesNo: return "YesNo";
    case Buttons::kAbortRetryIgnore: return "AbortRetryIgnore";
  }
  return "OK";
}

std::string_view Prompt(Buttons b) {
  switch (b) {
    case Buttons::kOk: return "[OK: press Enter] ";
    case Buttons::kYesNo: return "[Yes/No, Enter = Yes] ";
    case Buttons::kAbortRetryIgnore: return "[Abort/Retry/Ignore, Enter = Abort] ";
  }
  return "";
}

std::string Lower(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

// Text as it reads on a terminal: CR LF and lone CR become new lines.
std::string TerminalText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::optional<Answer> ParseAnswer(std::string_view word) {
  std::string w = Lower(word);
  if (w == "ok" || w == "o") return Answer::kOk;
  if (w == "yes" || w == "y") return Answer::kYes;
  if (w == "no" || w == "n") return Answer::kNo;
  if (w == "abort" || w == "a") return Answer::kAbort;
  if (w == "retry" || w == "r") return Answer::kRetry;
  if (w == "ignore" || w == "i") return Answer::kIgnore;
  return std::nullopt;
}

std::string_view AnswerName(Answer a) {
  switch (a) {
    case Answer::kOk: return "OK";
    case Answer::kCancel: return "Cancel";
    case Answer::kAbort: return "Abort";
    case Answer::kRetry: return "Retry";
    case Answer::kIgnore: return "Ignore";
    case Answer::kYes: return "Yes";
    case Answer::kNo: return "No";
  }
  return "OK";
}

ConsoleWindow::ConsoleWindow(ConsoleOptions options, FileSystem* files, std::FILE* out,
                             std::FILE* in)
    : options_(std::move(options)), files_(files), out_(out), in_(in) {
  if (!options_.transcript.empty()) {
    transcript_ = std::fopen(options_.transcript.c_str(), "ab");
    if (!transcript_) {
      std::fprintf(stderr, "transfer-info: cannot open the transcript %s\n",
                   options_.transcript.c_str());
    }
  }
}

ConsoleWindow::~ConsoleWindow() {
  if (transcript_) std::fclose(transcript_);
}

void ConsoleWindow::Log(const std::string& json_object) {
  if (!transcript_) return;
  std::fputs(json_object.c_str(), transcript_);
  std::fputc('\n', transcript_);
  std::fflush(transcript_);
}

std::optional<Answer> ConsoleWindow::Ask(Buttons buttons) {
  for (int tries = 0; tries < 20; ++tries) {
    std::fputs(Prompt(buttons).data(), out_);
    std::fflush(out_);
    char line[256];
    if (!std::fgets(line, sizeof line, in_)) {
      // End of input (Ctrl-D): a question is answered No, an error report takes its default.
      if (buttons == Buttons::kYesNo) return Answer::kNo;
      return std::nullopt;
    }
    std::string word = Lower(line);
    if (word.empty()) return std::nullopt;  // Enter: the default button
    std::optional<Answer> a = ParseAnswer(word);
    if (!a) continue;
    if (buttons == Buttons::kYesNo && (*a == Answer::kYes || *a == Answer::kNo)) return a;
    if (buttons == Buttons::kAbortRetryIgnore &&
        (*a == Answer::kAbort || *a == Answer::kRetry || *a == Answer::kIgnore)) {
      return a;
    }
    if (buttons == Buttons::kOk) return Answer::kOk;
  }
  return std::nullopt;
}

Answer ConsoleWindow::Show(std::string_view kind, std::string_view text, std::string_view title,
                           Buttons buttons, std::string_view details) {
  std::fprintf(out_, "\n== %.*s ==\n%s\n", static_cast<int>(title.size()), title.data(),
               TerminalText(text).c_str());
  if (!details.empty()) std::fprintf(out_, "%s\n", TerminalText(details).c_str());
  const std::string details_member =
      details.empty() ? "" : ",\"details\":" + JsonQuote(details);
  std::optional<Answer> answer;
  const char* how = "given";
  switch (buttons) {
    case Buttons::kOk:
      if (options_.interactive) Ask(buttons);
      answer = Answer::kOk;
      break;
    case Buttons::kYesNo:
      answer = options_.yes_no;
      if (!answer && !options_.interactive) {
        // Nobody to ask (cron, input from a file): the command ends before it writes anything.
        std::fflush(out_);
        std::fprintf(stderr,
                     "transfer-info: this question needs an answer, and standard input is not "
                     "a terminal; nothing was written. Give --answer yes or --answer no.\n");
        Log("{\"kind\":\"message\",\"title\":" + JsonQuote(title) + ",\"text\":" +
            JsonQuote(text) + ",\"buttons\":\"YesNo\",\"answer\":null" + details_member + "}");
        throw EndProgram{2};
      }
      if (!answer) {
        answer = Ask(buttons);
        how = "typed";
      }
      if (!answer) {
        answer = Answer::kYes;  // the default button
        how = "default";
      }
      break;
    case Buttons::kAbortRetryIgnore:
      answer = options_.on_error;
      if (!answer && options_.interactive) {
        answer = Ask(buttons);
        how = "typed";
      }
      if (!answer) {
        answer = Answer::kAbort;  // the default button
        how = "default";
      }
      break;
  }
  if (buttons != Buttons::kOk) {
    std::fprintf(out_, "-> %s (%s)\n", AnswerName(*answer).data(), how);
  }
  std::fflush(out_);
  if (kind == "message") {
    shown_.push_back({std::string(title), std::string(text), buttons, *answer});
  }
  Log("{\"kind\":" + JsonQuote(kind) + ",\"title\":" + JsonQuote(title) +
      ",\"text\":" + JsonQuote(text) + ",\"buttons\":" + JsonQuote(ButtonsName(buttons)) +
      ",\"answer\":" + JsonQuote(AnswerName(*answer)) + details_member + "}");
  return *answer;
}

Answer ConsoleWindow::MessageBox(std::string_view text, std::string_view title,
                                 Buttons buttons, std::string_view details) {
  return Show("message", text, title, buttons, details);
}

void ConsoleWindow::TraceBox(std::string_view text) {
  Show("trace", text, kAppTitle, Buttons::kOk);
}

void ConsoleWindow::SetPointer(Pointer pointer) {}

Picture ConsoleWindow::LoadPicture(std::string_view path) {
  std::string native = files_ ? files_->NativePath(path) : std::string(path);
  std::ifstream in(native, std::ios::binary);
  if (!in) throw RuntimeError(kErrFileNotFound);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
    throw RuntimeError(kErrInvalidPicture);
  }
  return Picture{native, std::move(bytes)};
}

void ConsoleWindow::FileNote(std::string_view path, std::string_view reason) {
  std::string native = files_ ? files_->NativePath(path) : std::string(path);
  // A relative path is looked for where the program runs; one with a root ("/", a drive, a
  // share) is already whole. Native paths are UTF-8.
  const bool rooted = native.starts_with('/') || native.starts_with('\\') || native.find(':') == 1;
  if (!native.empty() && !rooted) {
    std::error_code ignored;
    const std::u8string here = std::filesystem::current_path(ignored).u8string();
    native = std::string(here.begin(), here.end()) +
             static_cast<char>(std::filesystem::path::preferred_separator) + native;
  }
  std::string text(path);
  if (!native.empty()) {
    text += " is " + native + " on this machine. " + std::string(reason);
  } else if (path.size() >= 2 && path[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(path[0]))) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    text += std::string(": drive ") + letter + ": is not mapped on this machine; set XFR_DRIVE_" +
            letter + " to the directory that stands for it";
  } else {
    text += " names no file on this machine";
  }
  noted_ = true;
  Note(text);
}

void ConsoleWindow::Note(std::string_view text) {
  std::fprintf(out_, "note: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
  Log("{\"kind\":\"note\",\"text\":" + JsonQuote(text) + "}");
}

void ConsoleWindow::StatusChanged(std::string_view text, bool visible) {
  if (visible) std::fprintf(out_, "status: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
  Log("{\"kind\":\"status\",\"text\":" + JsonQuote(text) +
      ",\"visible\":" + (visible ? "true" : "false") + "}");
}

}  // namespace xfr
