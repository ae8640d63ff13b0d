#include "platform/console/console_window.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/app.h"
#include "platform/posix/posix_files.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

// The answers (from the options, the input or the default button) and the transcript.
TEST(ConsoleWindow, TranscriptHasOneJsonObjectPerBoxStatusAndNote) {
  const std::optional<Answer> kNobodyToAsk;  // the command ends (status 2) before any write
  struct Case {
    std::optional<Answer> yes_no, on_error;  // the options' answers
    bool terminal;
    std::string typed;
    Buttons buttons;
    std::optional<Answer> want;
  } cases[] = {
      {Answer::kNo, {}, false, "", Buttons::kYesNo, Answer::kNo},
      {{}, {}, false, "yes\n", Buttons::kYesNo, kNobodyToAsk},
      {{}, {}, true, "no\n", Buttons::kYesNo, Answer::kNo},
      {{}, {}, true, "maybe\nabort\nn\n", Buttons::kYesNo, Answer::kNo},
      {{}, {}, true, "\n", Buttons::kYesNo, Answer::kYes},
      {{}, {}, true, "", Buttons::kYesNo, Answer::kNo},  // Ctrl-D
      {{}, Answer::kIgnore, false, "", Buttons::kAbortRetryIgnore, Answer::kIgnore},
      {{}, {}, false, "", Buttons::kAbortRetryIgnore, Answer::kAbort},
      {{}, {}, true, "retry\n", Buttons::kAbortRetryIgnore, Answer::kRetry},
      // End of input at an error report takes the default button.
      {{}, {}, true, "", Buttons::kAbortRetryIgnore, Answer::kAbort},
      {{}, {}, false, "", Buttons::kOk, Answer::kOk},
  };
  for (const auto& c : cases) {
    std::FILE* in = std::tmpfile();
    std::fputs(c.typed.c_str(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    ConsoleWindow w({c.yes_no, c.on_error, "", c.terminal}, nullptr, out, in);
    std::optional<Answer> got;
    try {
      got = w.MessageBox("Question?", "Record Found", c.buttons);
    } catch (const EndProgram& end) {
      EXPECT_EQ(end.exit_code, 2);
    }
    EXPECT_EQ(got, c.want) << c.typed;
    // Without a terminal no box reads input.
    if (!c.terminal) {
      EXPECT_EQ(std::ftell(in), 0);
    }
    std::fclose(in);
    std::fclose(out);
  }

  std::string path = ::testing::TempDir() + "/transcript.jsonl";
  std::remove(path.c_str());
  {
    testing::ScopedEnv mapped("XFR_DRIVE_C", "/srv/office"), unmapped("XFR_DRIVE_Q", nullptr);
    PosixFileSystem files;
    std::FILE* out = std::tmpfile();
    ConsoleWindow w({Answer::kYes, std::nullopt, path, false}, &files, out, stdin);
    w.MessageBox("24-00101 was found.  Update?", "Record Found", Buttons::kYesNo,
                 "PR_CITY: \"Decatur\" -> cleared\nClient: stays 10004");
    w.TraceBox("Ini file:C:\\WINDOWS\\XFR.INI Exists");
    w.StatusChanged("Transferring data to Tracking", true);
    w.StatusChanged("", false);
    w.MessageBox("bad \x01 byte \xFF\r\nnext", "Error", Buttons::kOk);
    // After the missing-table message: where the file is here, or which drive is not mapped.
    w.FileNote("C:\\TRK\\CLIENT.DBF", "The table could not be found (no such file)");
    w.FileNote("q:\\TRK\\CLIENT.DBF", "The table could not be found (no such file)");
    std::rewind(out);
    char shown[200] = {};  // the details on the lines after the question
    EXPECT_NE(std::string(shown, std::fread(shown, 1, sizeof shown, out))
                  .find("Update?\nPR_CITY: \"Decatur\" -> cleared\nClient: stays 10004\n-> Yes"),
              std::string::npos);
    std::fclose(out);
  }
  EXPECT_EQ(testing::ReadFile(path),
            "{\"kind\":\"message\",\"title\":\"Record Found\",\"text\":\"24-00101 was found.  "
            "Update?\",\"buttons\":\"YesNo\",\"answer\":\"Yes\",\"details\":\"PR_CITY: "
            "\\\"Decatur\\\" -> cleared\\nClient: stays 10004\"}\n"
            "{\"kind\":\"trace\",\"title\":\"Transfer Info\",\"text\":\"Ini "
            "file:C:\\\\WINDOWS\\\\XFR.INI Exists\",\"buttons\":\"OK\",\"answer\":\"OK\"}\n"
            "{\"kind\":\"status\",\"text\":\"Transferring data to Tracking\",\"visible\":true}\n"
            "{\"kind\":\"status\",\"text\":\"\",\"visible\":false}\n"
            "{\"kind\":\"message\",\"title\":\"Error\",\"text\":\"bad \\u0001 byte "
            "\xEF\xBF\xBD\\r\\nnext\",\"buttons\":\"OK\",\"answer\":\"OK\"}\n"
            "{\"kind\":\"note\",\"text\":\"C:\\\\TRK\\\\CLIENT.DBF is /srv/office/TRK/CLIENT.DBF "
            "on this machine. The table could not be found (no such file)\"}\n"
            "{\"kind\":\"note\",\"text\":\"q:\\\\TRK\\\\CLIENT.DBF: drive Q: is not mapped on "
            "this machine; set XFR_DRIVE_Q to the directory that stands for it\"}\n");
}

}  // namespace
}  // namespace xfr
