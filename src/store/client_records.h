// Client records: the read transfer's check of the captured client number, the link of a
// property to its client (PROPERTY Cli_Num) and the addition of a new CLIENT record from the
// captured client labels.
//
// Only AddClientRecord traps errors of its own; the others pass an error to the read transfer,
// with any AddNew or Edit they started cancelled first (a record is written whole or not at all).
// The validate and error notifications of the client connection are in transfer/field_sizing.h.
//
// Called by the read driver on the window's thread.
#pragma once

#include <string_view>
#include <vector>

#include "form/main_window.h"
#include "store/record_writing.h"

namespace xfr {

// True when the text, trimmed, has 1 to 5 characters (any characters).
bool ValidateClientKey(std::string_view input_str);

// Seeks the file number on datproperty ("FILE_NUM"); when found, sets its Cli_Num to the client
// number (EditClientIDFieldOnly). Seeks the file number again so datproperty stands on it. A
// file number that is not in PROPERTY changes nothing.
void SetClientOfProperty(FrmMain& form, std::string_view file_num, std::string_view client_num);

// Cli_Num of the current property = the text upper-cased, trimmed and cut to txtCli_Num's
// maximum length (the width of CLIENT CLI_NUM). No other field changes.
void EditClientIDFieldOnly(FrmMain& form, std::string_view input_str);

// Adds a CLIENT record keyed by lblCli_Num (upper-cased, trimmed, 5 wide) holding the captured
// client values, and shows the client boxes. When another program added that client since the
// caller looked, nothing is written and the existing client is current. Traps errors
// ("AddClientRecord"): Retry writes again, Ignore and Abort go on without the client (the
// read transfer ends on Abort). True when CLIENT now holds the client.
bool AddClientRecord(FrmMain& form);

// The fields AddClientRecord writes, in order (CLI_NUM, then the label pairs of
// SetClientFieldsFromLabels), worked out from the labels. Writes nothing; the one list both the
// write and the account of it given with the read's question are made from.
std::vector<FieldWrite> ClientWritesFromLabels(FrmMain& form);

// Fills the new client record from the labels (REQUIRES: datclient in add mode).
void SetClientFieldsFromLabels(FrmMain& form);

// The label's caption, trimmed and fitted to the box's maximum length, into the box's CLIENT
// field; the box then shows the caption (trimmed).
void Label2ClientText(FrmMain& form, TextBox& text_control, const Label& label_control);

}  // namespace xfr
