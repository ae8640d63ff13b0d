// An in-memory table service for core tests: tables of text fields (plus N/D types as needed),
// tags whose key is one field (optionally upper-cased), and scripted errors.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/runtime_error.h"
#include "platform/table.h"

namespace xfr::testing {

struct FakeTag {
  std::string name;
  std::string field;
  bool upper = false;
};

struct FakeTableData {
  std::vector<FieldInfo> fields;
  std::vector<FakeTag> tags;
  std::vector<std::vector<Value>> records;  // one Value per field
  int writes = 0;
  // Raised by the next operation of that name ("Seek", "Update", "SetIndex", ...) when set.
  std::map<std::string, std::vector<int>> fail_next;

  int FieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (EqualsIgnoreCase(fields[i].name, name)) return static_cast<int>(i);
    }
    return -1;
  }
  void Append(std::vector<std::string> texts) {
    std::vector<Value> rec;
    for (std::size_t i = 0; i < fields.size(); ++i) {  // blank text for C fields, else Null
      const bool given = i < texts.size() && !texts[i].empty();
      rec.push_back(given                   ? Value(texts[i])
                    : fields[i].type == 'C' ? Value(std::string())
                                            : Value());
    }
    records.push_back(std::move(rec));
  }
  std::string Text(int recno, std::string_view field) const {
    return ValueText(
        records[static_cast<std::size_t>(recno)][static_cast<std::size_t>(FieldIndex(field))]);
  }
};

class FakeRecordset : public Recordset {
 public:
  explicit FakeRecordset(std::shared_ptr<FakeTableData> data) : data_(std::move(data)) {
    MoveFirst();
  }

  void MaybeFail(const std::string& op) const {
    auto it = data_->fail_next.find(op);
    if (it == data_->fail_next.end() || it->second.empty()) return;
    const int n = it->second.front();
    it->second.erase(it->second.begin());
    throw RuntimeError(n);
  }

  bool HasCurrent() const override { return current_ >= 0; }
  void MoveFirst() override { current_ = data_->records.empty() ? -1 : 0; }
  void SetIndex(std::string_view tag) override {
    MaybeFail("SetIndex");
    for (const FakeTag& t : data_->tags) {
      if (EqualsIgnoreCase(t.name, tag)) {
        index_ = t.name;
        return;
      }
    }
    throw RuntimeError(kErrNotAnIndex);
  }
  std::string Index() const override { return index_; }
  void Seek(std::string_view comparison, std::string_view key) override {
    MaybeFail("Seek");
    if (index_.empty()) throw RuntimeError(kErrNoCurrentIndex);
    current_ = Find(index_, VbRTrim(std::string(key)));
    no_match_ = current_ < 0;
  }
  bool NoMatch() const override { return no_match_; }
  std::string Bookmark() const override {
    if (current_ < 0) throw RuntimeError(kErrNoCurrentRecord);
    return std::to_string(current_);
  }
  void SetBookmark(const std::string& mark) override { current_ = std::stoi(mark); }
  const std::vector<FieldInfo>& Fields() const override { return data_->fields; }
  Value GetField(std::string_view name) const override {
    MaybeFail("GetField");
    const std::size_t fi = Field(name);
    if (mode_ != EditMode::kNone) return buffer_[fi];
    if (current_ < 0) throw RuntimeError(kErrNoCurrentRecord);
    const Value& v = data_->records[static_cast<std::size_t>(current_)][fi];
    if (auto* s = std::get_if<std::string>(&v)) return VbRTrim(*s);
    return v;
  }
  void SetField(std::string_view name, const Value& value) override {
    MaybeFail("SetField");
    const std::size_t fi = Field(name);
    if (mode_ == EditMode::kNone) throw RuntimeError(kErrUpdateWithoutEdit);
    buffer_[fi] = value;
    if (auto* s = std::get_if<std::string>(&buffer_[fi])) {
      s->resize(std::min(s->size(), static_cast<std::size_t>(data_->fields[fi].size)));
    }
  }
  int FieldSize(std::string_view name) const override { return data_->fields[Field(name)].size; }
  std::string InCodePage(std::string_view text) const override { return std::string(text); }
  void AddNew() override {
    MaybeFail("AddNew");
    buffer_.assign(data_->fields.size(), Value{});
    mode_ = EditMode::kAdd;
  }
  void Edit() override {
    MaybeFail("Edit");
    if (current_ < 0) throw RuntimeError(kErrNoCurrentRecord);
    buffer_ = data_->records[static_cast<std::size_t>(current_)];
    mode_ = EditMode::kEdit;
  }
  void Update() override {
    MaybeFail("Update");
    if (mode_ == EditMode::kNone) throw RuntimeError(kErrUpdateWithoutEdit);
    ++data_->writes;
    if (mode_ == EditMode::kAdd) {
      data_->records.push_back(buffer_);
      current_ = static_cast<int>(data_->records.size()) - 1;
    } else {
      data_->records[static_cast<std::size_t>(current_)] = buffer_;
    }
    mode_ = EditMode::kNone;
  }
  bool UpdateUnlessFound(std::string_view tag) override {
    if (mode_ == EditMode::kAdd) {
      SetIndex(tag);  // the tag's name as the table spells it, or 3015
      for (const FakeTag& t : data_->tags) {
        if (t.name != index_) continue;
        const std::string key = VbRTrim(ValueText(buffer_[Field(t.field)]));
        if (int i = Find(t.name, t.upper ? UCase(key) : key); i >= 0) {
          mode_ = EditMode::kNone;
          current_ = i;
          return false;
        }
      }
    }
    Update();
    return true;
  }
  void CancelUpdate() override { mode_ = EditMode::kNone; }
  EditMode GetEditMode() const override { return mode_; }
  void Close() override {}

 private:
  // The index of the field named `name`; 3265 when there is none.
  std::size_t Field(std::string_view name) const {
    const int fi = data_->FieldIndex(name);
    if (fi < 0) throw RuntimeError(kErrItemNotFound);
    return static_cast<std::size_t>(fi);
  }
  // The first record whose key on the tag named `tag_name` is `want`, or -1.
  int Find(const std::string& tag_name, const std::string& want) const {
    const auto tag = std::find_if(data_->tags.begin(), data_->tags.end(),
                                  [&](const FakeTag& t) { return t.name == tag_name; });
    if (tag == data_->tags.end()) throw RuntimeError(kErrItemNotFound);  // an unknown tag
    const std::size_t fi = Field(tag->field);
    for (std::size_t i = 0; i < data_->records.size(); ++i) {
      const std::string have = VbRTrim(ValueText(data_->records[i][fi]));
      if ((tag->upper ? UCase(have) : have) == want) return static_cast<int>(i);
    }
    return -1;
  }
  std::shared_ptr<FakeTableData> data_;
  int current_ = -1;
  std::string index_;
  bool no_match_ = false;
  EditMode mode_ = EditMode::kNone;
  std::vector<Value> buffer_;
};

class FakeTables : public TableService {
 public:
  std::unique_ptr<Recordset> Open(std::string_view connect, std::string_view database,
                                  std::string_view record_source, int recordset_type) override {
    auto it = tables.find(UCase(record_source));
    if (it == tables.end()) throw RuntimeError(kErrTableNotFound);
    return std::make_unique<FakeRecordset>(it->second);
  }
  std::shared_ptr<FakeTableData> Add(std::string name, std::vector<FieldInfo> fields,
                                     std::vector<FakeTag> tags) {
    auto d = std::make_shared<FakeTableData>();
    d->fields = std::move(fields);
    d->tags = std::move(tags);
    tables[UCase(name)] = d;
    return d;
  }
  std::map<std::string, std::shared_ptr<FakeTableData>> tables;
};

}  // namespace xfr::testing
