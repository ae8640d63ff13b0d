// DataControl: one table connection of the main window (datproperty, datSearchProperty,
// datclient, datinvoice), written once over the platform's table service.
//
// It holds the connection properties (Connect, DatabaseName, RecordSource, RecordsetType),
// opens the table on Refresh, keeps the bound text boxes showing the current record, and hands
// their edited text back to the record when it is written: on Update, before any move (seek,
// bookmark, first record, AddNew) and on close. A box hands its text back only when the person
// changed it (TextBox::edited) and it differs from what the box last showed; what the program
// does to a box for display (fitting it, upper-casing a key) is not an edit, so looking at a
// record never writes it.
//
// Validate notification, with the action codes of the platform's data control:
//   16  before every write of the record (Update, and the save of edited boxes before a move),
//   10  when the connection closes (Close, Refresh of an open connection),
//   9   before a move that writes nothing (seek, bookmark, first record; save = false).
// Error notification: a failure of a write that the control makes on its own (the save before a
// move or close) is handed to the Error handler with its number; the move is then not made and
// no error reaches the caller. Errors of the operations the caller asks for directly (Update,
// Edit, AddNew, Seek itself) are raised to the caller as usual.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/app.h"
#include "controls/controls.h"
#include "platform/table.h"

namespace xfr {

class DataControl {
 public:
  static constexpr int kActionBookmark = 9;
  static constexpr int kActionClose = 10;
  static constexpr int kActionWrite = 16;

  DataControl(App& app, std::string control_name);
  ~DataControl();
  DataControl(const DataControl&) = delete;
  DataControl& operator=(const DataControl&) = delete;

  const std::string& name() const { return name_; }

  std::string Connect;
  std::string DatabaseName;
  std::string RecordSource;
  int RecordsetType = 0;

  // Opens the table (closing an open one first) and makes its first record current.
  void Refresh();
  bool IsOpen() const { return recordset_ != nullptr; }
  // Writes pending edits (Validate 10 first) and closes. Safe to call when not open.
  void Close();

  // The recordset operations. Each raises 91 when the connection is not open.
  bool HasCurrent() const;
  void SetIndex(std::string_view tag);
  // False when the seek was not made because the save of edited boxes before it failed (the
  // Error handler has been told); NoMatch then still describes an earlier seek.
  bool Seek(std::string_view comparison, std::string_view key);
  bool NoMatch() const;
  std::string Bookmark() const;
  void SetBookmark(const std::string& mark);
  void MoveFirst();
  Value Field(std::string_view name) const;
  void SetField(std::string_view name, const Value& value);
  // Sets a field from text, converted to the field's type (blank text is Null).
  void SetFieldText(std::string_view name, std::string_view text);
  int FieldSize(std::string_view name) const;
  // The field's name as stored, its type, width and decimals; 3265 when there is no such field.
  const FieldInfo& Info(std::string_view name) const;
  // What a write of `value` puts in field `name`: text in the table's code page (its substitute
  // "?" for each character it has no byte for), cut to the field's width (the table pads it with
  // blanks); a number rounded to the field's decimals; other values as given. The record writers
  // write this, and the account given with the read's question shows it.
  Value AsStored(std::string_view name, const Value& value) const;
  // The text in the table's code page (see Recordset::InCodePage).
  std::string InCodePage(std::string_view text) const;
  void AddNew();
  void Edit();
  void Update();
  // Update of an AddNew that appends only when no record has the new key on `tag` yet (see
  // Recordset::UpdateUnlessFound); false when one has, which is then current.
  bool UpdateUnlessFound(std::string_view tag);
  void CancelUpdate();
  EditMode GetEditMode() const;

  // Binds a box to a field; it shows the field of the current record from now on.
  void Bind(TextBox& box, std::string field);
  // Shows the current record (or blanks) in every bound box.
  void ShowCurrent();

  // Notifications (see above). Validate(action, save); Error(data_err, response).
  std::function<void(int& action, int& save)> Validate;
  std::function<void(int data_err, int& response)> Error;

 private:
  struct Binding {
    TextBox* box;
    std::string field;
    std::string shown;  // the text the box last showed
  };

  Recordset& rs() const;
  static bool Edited(const Binding& b) { return b.box->edited && b.box->text != b.shown; }
  bool HasPendingEdits() const;
  // Copies edited box texts into the record buffer (which must be in edit or add mode).
  void ApplyBoxEdits();
  // Before a move: writes pending edits, or gives Validate(9). False when the save failed (the
  // Error handler has been told) and the move must not be made.
  bool BeforeMove();
  void FireValidate(int action, bool save);

  App& app_;
  std::string name_;
  std::unique_ptr<Recordset> recordset_;
  std::vector<Binding> bindings_;
};

// What the person is told of a table that could not be connected: "The file '" + the directory
// + "\\" + the record source + ".dbf' is missing or is invalid. ..."
std::string MissingTableMessage(std::string_view stripped_dir, std::string_view record_source);

// The value a text becomes when written into a field of the given type: text for character
// fields, a number for N/F, a date for D (month-first text), a logical for L; blank text is
// Null. Raises 13 when the text does not fit the type.
Value TextToFieldValue(const FieldInfo& field, std::string_view text);

}  // namespace xfr
