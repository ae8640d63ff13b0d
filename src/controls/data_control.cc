#include "controls/data_control.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/dates.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {
constexpr int kErrObjectNotSet = 91;

const FieldInfo* FindField(const std::vector<FieldInfo>& fields, std::string_view name) {
  for (const FieldInfo& f : fields) {
    if (EqualsIgnoreCase(f.name, name)) return &f;
  }
  return nullptr;
}
}  // namespace

std::string MissingTableMessage(std::string_view stripped_dir, std::string_view record_source) {
  return "The file '" + std::string(stripped_dir) + "\\" + std::string(record_source) +
         ".dbf' is missing or is invalid.   Please check the installation path and try again "
         "(Setup, Configuration).";
}

Value TextToFieldValue(const FieldInfo& field, std::string_view text) {
  std::string t = VbTrim(text);
  switch (field.type) {
    case 'N':
    case 'F':
    case 'B':
    case 'I':
    case 'Y': {
      if (t.empty()) return Value{};
      double d = 0;
      if (!ParseDecimal(t, &d) || !std::isfinite(d)) {
        throw RuntimeError(kErrDataTypeMismatch);
      }
      return d;
    }
    case 'D': {
      if (t.empty()) return Value{};
      return ReadMonthFirstDate(t);
    }
    case 'L': {
      if (t.empty()) return Value{};
      std::string u = UCase(t);
      if (u == "TRUE" || u == "T" || u == "Y" || u == "YES" || u == "-1") return true;
      if (u == "FALSE" || u == "F" || u == "N" || u == "NO" || u == "0") return false;
      throw RuntimeError(kErrDataTypeMismatch);
    }
    default:
      return std::string(text);
  }
}

DataControl::DataControl(App& app, std::string control_name)
    : app_(app), name_(std::move(control_name)) {}

DataControl::~DataControl() {
  // The window closes its connections explicitly; this only drops what is left.
  recordset_.reset();
}

Recordset& DataControl::rs() const {
  if (!recordset_) throw RuntimeError(kErrObjectNotSet, "Object variable not set");
  return *recordset_;
}

void DataControl::FireValidate(int action, bool save) {
  if (!Validate) return;
  int a = action;
  int s = save ? -1 : 0;
  Validate(a, s);
}

bool DataControl::HasPendingEdits() const {
  if (!recordset_) return false;
  for (const Binding& b : bindings_) {
    if (Edited(b)) return true;
  }
  return false;
}

void DataControl::ApplyBoxEdits() {
  const std::vector<FieldInfo>& fields = rs().Fields();
  for (Binding& b : bindings_) {
    if (!Edited(b)) continue;
    const FieldInfo* f = FindField(fields, b.field);
    if (!f) throw RuntimeError(kErrItemNotFound);
    rs().SetField(b.field, TextToFieldValue(*f, b.box->text));
  }
}

bool DataControl::BeforeMove() {
  if (!HasPendingEdits() || (rs().GetEditMode() == EditMode::kNone && !rs().HasCurrent())) {
    FireValidate(kActionBookmark, false);
    return true;
  }
  FireValidate(kActionWrite, true);
  try {
    if (rs().GetEditMode() == EditMode::kNone) rs().Edit();
    ApplyBoxEdits();
    rs().Update();
    return true;
  } catch (const RuntimeError& e) {
    try {
      if (rs().GetEditMode() != EditMode::kNone) rs().CancelUpdate();
    } catch (const RuntimeError&) {
    }
    int response = 1;
    if (Error) Error(e.number(), response);
    return false;
  }
}

void DataControl::Refresh() {
  Close();
  recordset_ = app_.services().tables->Open(Connect, DatabaseName, RecordSource, RecordsetType);
  ShowCurrent();
}

void DataControl::Close() {
  if (!recordset_) return;
  FireValidate(kActionClose, HasPendingEdits());
  if (HasPendingEdits() && (recordset_->HasCurrent() || GetEditMode() != EditMode::kNone)) {
    try {
      if (recordset_->GetEditMode() == EditMode::kNone) recordset_->Edit();
      ApplyBoxEdits();
      recordset_->Update();
    } catch (const RuntimeError& e) {
      int response = 1;
      if (Error) Error(e.number(), response);
    }
  }
  recordset_->Close();
  recordset_.reset();
}

bool DataControl::HasCurrent() const { return rs().HasCurrent(); }

void DataControl::SetIndex(std::string_view tag) { rs().SetIndex(tag); }

bool DataControl::Seek(std::string_view comparison, std::string_view key) {
  if (!BeforeMove()) return false;
  rs().Seek(comparison, key);
  ShowCurrent();
  return true;
}

bool DataControl::NoMatch() const { return rs().NoMatch(); }

std::string DataControl::Bookmark() const { return rs().Bookmark(); }

void DataControl::SetBookmark(const std::string& mark) {
  if (!BeforeMove()) return;
  rs().SetBookmark(mark);
  ShowCurrent();
}

void DataControl::MoveFirst() {
  if (!BeforeMove()) return;
  rs().MoveFirst();
  ShowCurrent();
}

Value DataControl::Field(std::string_view name) const { return rs().GetField(name); }

void DataControl::SetField(std::string_view name, const Value& value) {
  rs().SetField(name, value);
}

void DataControl::SetFieldText(std::string_view name, std::string_view text) {
  rs().SetField(name, TextToFieldValue(Info(name), text));
}

const FieldInfo& DataControl::Info(std::string_view name) const {
  const FieldInfo* f = FindField(rs().Fields(), name);
  if (!f) throw RuntimeError(kErrItemNotFound);
  return *f;
}

std::string DataControl::InCodePage(std::string_view text) const { return rs().InCodePage(text); }

Value DataControl::AsStored(std::string_view name, const Value& value) const {
  const FieldInfo& field = Info(name);
  if (field.type == 'C' && !IsNull(value)) {
    return Utf8Left(InCodePage(ValueText(value)),
                    static_cast<std::size_t>(std::max(field.size, 0)));
  }
  const double* d = std::get_if<double>(&value);
  if ((field.type == 'N' || field.type == 'F') && d && std::isfinite(*d)) {
    // Written as fixed-point text with the field's decimals, as the table stores numbers.
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, *d, std::chars_format::fixed,
                                 std::clamp(field.decimals, 0, 30));
    double back = 0;
    if (r.ec == std::errc() && ParseDecimal(std::string_view(buf, r.ptr - buf), &back)) {
      return back == 0 ? 0.0 : back;  // no "-0"
    }
  }
  return value;
}

int DataControl::FieldSize(std::string_view name) const { return rs().FieldSize(name); }

void DataControl::AddNew() {
  if (!BeforeMove()) return;
  rs().AddNew();
  ShowCurrent();
}

void DataControl::Edit() { rs().Edit(); }

void DataControl::Update() {
  FireValidate(kActionWrite, true);
  ApplyBoxEdits();
  rs().Update();
  ShowCurrent();
}

bool DataControl::UpdateUnlessFound(std::string_view tag) {
  FireValidate(kActionWrite, true);
  ApplyBoxEdits();
  const bool added = rs().UpdateUnlessFound(tag);
  ShowCurrent();
  return added;
}

void DataControl::CancelUpdate() {
  rs().CancelUpdate();
  ShowCurrent();
}

EditMode DataControl::GetEditMode() const { return rs().GetEditMode(); }

void DataControl::Bind(TextBox& box, std::string field) {
  box.data_source = this;
  box.data_field = field;
  bindings_.push_back(Binding{&box, std::move(field), box.text});
  ShowCurrent();
}

void DataControl::ShowCurrent() {
  bool current = recordset_ && (recordset_->HasCurrent() ||
                                recordset_->GetEditMode() == EditMode::kAdd);
  for (Binding& b : bindings_) {
    std::string text;
    if (current) {
      try {
        text = ValueText(recordset_->GetField(b.field));
      } catch (const RuntimeError&) {
        text.clear();
      }
    }
    b.box->text = text;
    b.box->edited = false;
    b.shown = text;
  }
}

}  // namespace xfr
