// Field sizing and edit validation: each bound box's maximum length is its field's width, and
// the boxes' texts are fitted to those lengths before the record is written or closed.
#pragma once

#include <string>

#include "form/main_window.h"

namespace xfr {

void SetAllFieldSizes(FrmMain& form);
void SetFieldSize(FrmMain& form, TextBox& box);
void SetClientFieldSize(FrmMain& form, TextBox& box);
int PropertyFieldSize(FrmMain& form, std::string_view field);
int ClientFieldSize(FrmMain& form, std::string_view field);
// Cuts the text to the box's maximum length and trims it. A box that was never sized (length
// 0, no limit) is only trimmed.
void FitTextToMaxLength(TextBox& box);

void datproperty_Validate(FrmMain& form, int& action, int& save);
void datclient_Validate(FrmMain& form, int& action, int& save);
// Data-error notifications: the client's sets DataErrorFlag, the property's is silent.
void datclient_Error(FrmMain& form, int data_err, int& response);
void datproperty_Error(FrmMain& form, int data_err, int& response);

// Connects the validate and error notifications of the form's data controls.
void ConnectDataEvents(FrmMain& form);

}  // namespace xfr
