// A small JSON reader and writer for apx-sim's report files and log lines. Objects keep their
// members in the file's order (the order of the reports is the order of the ActiveReports answer).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/text.h"

namespace apxsim {

struct Json;
using JsonObject = std::vector<std::pair<std::string, Json>>;
using JsonArray = std::vector<Json>;

struct Json {
  std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> value;

  bool is_string() const { return std::holds_alternative<std::string>(value); }
  bool is_number() const { return std::holds_alternative<double>(value); }
  bool is_array() const { return std::holds_alternative<JsonArray>(value); }
  bool is_object() const { return std::holds_alternative<JsonObject>(value); }
  const std::string& string() const { return std::get<std::string>(value); }
  double number() const { return std::get<double>(value); }
  const JsonArray& array() const { return std::get<JsonArray>(value); }
  const JsonObject& object() const { return std::get<JsonObject>(value); }
  // The member `key` of an object, or nullptr.
  const Json* Find(std::string_view key) const;
};

// Parses one JSON text (UTF-8). On failure returns false and sets *error to a message with the
// byte offset.
bool ParseJson(std::string_view text, Json* out, std::string* error);

// `text` as a JSON string literal (the program's one quoting).
using xfr::JsonQuote;

// Writes `value` indented by two spaces per level.
std::string WriteJson(const Json& value, int indent = 0);

}  // namespace apxsim
