// Small helpers shared by the property, invoice and client writers, and the one field write
// they and the account given with the read's question are made of.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/error_report.h"
#include "base/text.h"
#include "controls/data_control.h"
#include "platform/runtime_error.h"

namespace xfr {

// One field a write of a record sets.
struct FieldWrite {
  enum How {
    kValue,       // SetField with the value
    kText,        // the value's text converted to the field's type
    kLabel2Text,  // SetField with the value, under Label2Text's own error trap
  };
  std::string field;
  Value value;
  How how = kValue;
  // What working out the value raised; raised again in its place when the fields are set, so a
  // write stops (or is reported) at the same field as ever.
  std::optional<RuntimeError> error = std::nullopt;
  // The captured text the value comes from, trimmed; "" for a value made otherwise.
  std::string captured = {};
};

// Runs `compute`; an error it raises is kept in the write, to be raised again when it is made.
template <typename Compute>
void CatchInto(FieldWrite& w, Compute compute) {
  try {
    compute();
  } catch (const RuntimeError& error) {
    w.error = error;
  }
}

// The write of a label's caption into the field the box's tag names on `dc`: the caption trimmed
// and fitted to the box's width (a box that was never sized would clear the field; its field's
// own width is meant).
inline FieldWrite LabelFieldWrite(const DataControl& dc, const TextBox& box, const Label& label,
                                  FieldWrite::How how = FieldWrite::kValue) {
  FieldWrite w{box.tag, {}, how};
  w.captured = VbTrim(label.caption);
  CatchInto(w, [&] {
    const int width = box.max_length > 0 ? box.max_length : dc.FieldSize(box.tag);
    w.value = FitToWidth(label.caption, width);
  });
  return w;
}

// What the write puts in its field (DataControl::AsStored of the value, a kText value first
// converted to the field's type). Raises what working out the value raised.
inline Value StoredValue(const DataControl& dc, const FieldWrite& w) {
  if (w.error) throw *w.error;
  if (w.how != FieldWrite::kText) return dc.AsStored(w.field, w.value);
  return dc.AsStored(w.field, TextToFieldValue(dc.Info(w.field), ValueText(w.value)));
}

// An expected-error handler that only names `proc` again before the error report, so that a
// report for an error of this procedure's own steps names it even after a called procedure
// recorded its own name.
inline StepRunner::Expected ReportAs(App& app, std::string_view proc) {
  return [&app, name = std::string(proc)](const RuntimeError&) -> std::optional<Resume> {
    app.SetProc(name);
    return std::nullopt;
  };
}

// Cancels an AddNew or Edit that is still pending when the writer leaves, whichever way it
// leaves, so that a record is either written whole or not at all.
class WriteGuard {
 public:
  explicit WriteGuard(DataControl& control) : control_(control) {}
  ~WriteGuard() {
    try {
      if (control_.IsOpen() && control_.GetEditMode() != EditMode::kNone) control_.CancelUpdate();
    } catch (const RuntimeError&) {
      // Nothing more can be done for a connection that cannot even cancel.
    }
  }
  WriteGuard(const WriteGuard&) = delete;
  WriteGuard& operator=(const WriteGuard&) = delete;

 private:
  DataControl& control_;
};

}  // namespace xfr
