// The read transfer, "&Read Info from Appraisal": finds the open appraisal report and its form,
// captures its values into the appraisal labels, checks the file number and, after asking,
// adds the job (property, client link, invoice) or updates the existing property and its client
// link.
//
// A capture that did not get every answer ends the read before the question, with nothing
// written. So does a table the read would write that is not connected (the missing-table
// message), and a file or client number that a table it goes into cannot hold exactly (a
// character its code page lacks would make it another number, maybe another job's): the message
// names the number, the field and the table. The question's details say what the add or update
// would write (ReadDetails). A job (or client) that another program added after the look-up is
// found again under the append's lock and updated (linked) instead of added twice.
//
// An error that reaches the command untrapped is reported under "CmdRead_Click"; any record
// write it interrupted is cancelled first, so the tables stay as the last completed write left
// them. Every way out restores the default pointer; after an error the animation is stopped and
// the status line cleared, and the program does not end.
//
// Runs on the window's thread; blocks while the appraisal program and the tables answer.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

inline constexpr std::string_view kNoFormMessage =
    "You must have an appraisal form (the actual report) running before the data can be "
    "transferred into the Tracking program.";
inline constexpr std::string_view kNoFileNumberStatus =
    "The Appraisal must have a file number before transferring into Tracking.";
inline constexpr std::string_view kTransferringStatus = "Transferring data to Tracking";
inline constexpr std::string_view kRecordFoundTitle = "Record Found";
// When a request of the capture fails, the read ends before asking to add or update.
inline constexpr std::string_view kIncompleteCaptureMessage =
    "The appraisal report could not be read completely.  Nothing was written.";
inline constexpr std::size_t kMaxFileNumLength = 8;

// "The file number " + file number + " must not be greater than eight (8) characters in length."
std::string FileNumTooLongMessage(std::string_view file_num);
// "The Client ID (" + client number + ") must be one to five (1 - 5) characters in length for the
// client data to transfer."
std::string ClientIdMessage(std::string_view client_num);
// file number + " was not found.  Add?" / " was found.  Update?"
std::string AddQuestion(std::string_view file_num);
std::string UpdateQuestion(std::string_view file_num);

// The click handler of CmdRead. May end the program (EndProgram) through TestToExit.
void CmdRead_Click(FrmMain& form);

// What LinkClientToProperty does for the property of a file number, worked out without writing.
struct ClientLink {
  enum Kind {
    kNoProperty,    // the file number is not in PROPERTY: nothing
    kKeeps,         // the property keeps its client (cli_num; exists: whether CLIENT has it)
    kInvalidId,     // the captured client number (cli_num) is not 1-5 characters: no link
    kLinks,         // the property will name the captured client, which CLIENT has
    kAddsAndLinks,  // the captured client is added to CLIENT, then named by the property
  };
  Kind kind;
  std::string cli_num = {};
  bool exists = false;
};
// Seeks datproperty to the file number's property and datclient to the client it names or
// would name; writes nothing.
ClientLink PlanClientLink(FrmMain& form, std::string_view file_num);
// The same for a job without a client (a new one among them): what becomes of the captured
// client number (kInvalidId, kLinks or kAddsAndLinks). Seeks datclient only.
ClientLink PlanCapturedClient(FrmMain& form);

// Links the property of `file_num` to its client: a property that has a client keeps it (the
// client boxes show whether it exists); otherwise the captured client number is checked, added
// from the client labels when new, and then set on the property. A client that could not be
// added is not set on the property.
void LinkClientToProperty(FrmMain& form, std::string_view file_num);

// FindRecord on datproperty ("File_Num") with the file number trimmed and upper-cased.
bool FindProperty(FrmMain& form, std::string_view file_num);
// Cli_Num of the current property, "" when Null.
std::string PropertyClientNum(FrmMain& form);
// True when the client number is not blank and FindRecord on datclient ("CLI_NUM") finds it.
// The key is upper-cased, as client numbers are stored and indexed.
bool FindClient(FrmMain& form, std::string_view cli_num);

}  // namespace xfr
