// The controls of the main window as plain objects. The logic reads and writes only these; a
// view (Qt or console) shows them and hands the user's input back into them.
#pragma once

#include <string>

#include "platform/window.h"

namespace xfr {

class DataControl;

struct Control {
  explicit Control(std::string control_name) : name(std::move(control_name)) {}
  std::string name;
  bool visible = true;
  bool enabled = true;
  std::string tool_tip;
};

struct Label : Control {
  using Control::Control;
  std::string caption;
};

struct Button : Control {
  using Control::Control;
  std::string caption;
};

// 0 clear, 1 checked, 2 greyed.
struct CheckBox : Control {
  using Control::Control;
  std::string caption;
  int value = 0;
};

struct Image : Control {
  using Control::Control;
  Picture picture;
};

// A text box, optionally bound to a field of a data control's current record. `tag` names the
// box's table field for sizing and label writing; `max_length` 0 means no limit. `edited` marks
// a text the person changed (Type); the program's own changes of `text` (fitting, upper-casing
// a key for display) leave it alone, and only an edited box is written back to its record.
struct TextBox : Control {
  using Control::Control;
  // The person's edit: the view calls this with the box's new text.
  void Type(std::string new_text) {
    text = std::move(new_text);
    edited = true;
  }
  std::string text;
  bool edited = false;
  int max_length = 0;
  bool locked = false;
  std::string tag;
  DataControl* data_source = nullptr;
  std::string data_field;
};

}  // namespace xfr
