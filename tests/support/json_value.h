// A strict reader of one JSON text, for tests that check a program's JSON
// output field by field: anything that is not valid JSON is refused.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

struct JsonValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> fields;
  std::vector<std::string> order;   // field names as they came

  bool has(const std::string& name) const { return fields.count(name) != 0; }
  // The field, or a null value when there is none.
  const JsonValue& operator[](const std::string& name) const;
};

// Reads text (one value, blanks around it allowed); false with *error set
// when it is not valid JSON or a field name repeats.
bool ParseJson(const std::string& text, JsonValue* value, std::string* error);
