// Property and invoice record writing: the read transfer's writes of PROPERTY (a new record or
// the existing one rewritten from the appraisal labels) and of the job's INVOICE record.
//
// Every text field receives its label's caption trimmed and padded or cut to the field's width
// (the width is the bound box's maximum length, set at load), so an empty capture clears the
// field. A record is written whole or not at all: when a write stops part-way, the pending
// AddNew or Edit is cancelled before the operation returns or passes the error on.
//
// Called by the read driver on the window's thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "form/main_window.h"
#include "store/record_writing.h"

namespace xfr {

enum class AddOutcome {
  kAdded,
  kNotAdded,     // left at the error report
  kAlreadyThere  // another program added the job since the read looked: nothing written
};

// Adds a PROPERTY record from the labels and FormTypeText, unless the job is in PROPERTY by
// the time of the append (looked up again under the append's lock). Traps errors ("AddRecord"):
// Retry runs the failing step again, Ignore goes on, Abort leaves (nothing written).
AddOutcome AddRecord(FrmMain& form);

// Rewrites the current PROPERTY record from the labels. No trap: errors pass to the caller,
// with the edit cancelled. REQUIRES: datproperty stands on the captured file number's record.
void EditRecord(FrmMain& form);

// The fields an add (`adding`) or update writes, in order, worked out from the labels,
// FormTypeText and, for an update, the record datproperty holds (inv_num). Writes nothing and
// shows no box. The one list both the write and the account of it given with the "Add?" or
// "Update?" question are made from.
std::vector<FieldWrite> PropertyWritesFromLabels(FrmMain& form, bool adding);

// Fills the property record buffer from the labels: the writes above, always in the same order.
// REQUIRES: datproperty is in add or edit mode.
void SetPropertyFieldsFromLabels(FrmMain& form);

// Writes the label's caption, trimmed, padded and cut to the box's maximum length, into the
// datproperty field the box's tag names. Traps its own errors ("Label2Text").
void Label2Text(FrmMain& form, TextBox& text_control, const Label& label_control);

// Adds an INVOICE record whose INV_NUM is File_Num of the current property, unless another
// program added that invoice since the caller looked. Traps errors ("AddInvoiceRecord"). REQUIRES:
// datproperty stands on the property just added.
void AddInvoiceRecord(FrmMain& form);

// The estimated value of a caption such as "250,000", "$ 1,250,000.50" or "412000": blanks, a
// leading "$" and a sign are skipped, commas between digits are group separators, one decimal
// point is allowed; the number ends at the first other character. A caption that does not start
// with a number is 0.
double EstimatedValueNumber(std::string_view caption);

}  // namespace xfr
