#include "tests/support/json_value.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  bool document(JsonValue* v) {
    blanks();
    if (!value(v)) return false;
    blanks();
    return pos_ == s_.size() || fail("text after the value");
  }
  std::string error;

 private:
  bool fail(const char* what) {
    if (error.empty()) error = std::string(what) + " at offset " + std::to_string(pos_);
    return false;
  }
  void blanks() {
    while (pos_ < s_.size() && std::strchr(" \t\r\n", s_[pos_]) != nullptr) ++pos_;
  }
  bool literal(const char* word) {
    const size_t n = std::strlen(word);
    if (s_.compare(pos_, n, word) != 0) return fail("unknown word");
    pos_ += n;
    return true;
  }
  bool value(JsonValue* v) {
    if (pos_ >= s_.size()) return fail("end of text");
    const char c = s_[pos_];
    if (c == '{') return object(v);
    if (c == '[') return array(v);
    if (c == '"') {
      v->kind = JsonValue::kString;
      return string(&v->text);
    }
    if (c == 't' || c == 'f') {
      v->kind = JsonValue::kBool;
      v->boolean = c == 't';
      return literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      v->kind = JsonValue::kNull;
      return literal("null");
    }
    return number(v);
  }
  bool number(JsonValue* v) {
    const size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    if (pos_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      return fail("not a value");
    }
    if (s_[pos_] == '0') {
      ++pos_;
    } else {
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (pos_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
        return fail("digits after the point");
      }
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (pos_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
        return fail("digits of the exponent");
      }
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    v->kind = JsonValue::kNumber;
    v->number = std::strtod(s_.substr(start, pos_ - start).c_str(), nullptr);
    return true;
  }
  bool string(std::string* out) {
    ++pos_;   // the opening quote
    while (pos_ < s_.size() && s_[pos_] != '"') {
      const unsigned char c = static_cast<unsigned char>(s_[pos_++]);
      if (c < 0x20) return fail("control byte in a string");
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= s_.size()) return fail("end of text");
      const char e = s_[pos_++];
      const char* simple = std::strchr("\"\\/bfnrt", e);
      if (simple != nullptr && e != '\0') {
        static const char decoded[] = "\"\\/\b\f\n\r\t";
        *out += decoded[simple - "\"\\/bfnrt"];
      } else if (e == 'u') {
        if (pos_ + 4 > s_.size()) return fail("short \\u escape");
        const std::string hex = s_.substr(pos_, 4);
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
          return fail("bad \\u escape");
        }
        pos_ += 4;
        const long unit = std::strtol(hex.c_str(), nullptr, 16);
        if (unit > 0xFF) return fail("\\u escape beyond one byte (not needed here)");
        *out += static_cast<char>(unit);
      } else {
        return fail("bad escape");
      }
    }
    if (pos_ >= s_.size()) return fail("unterminated string");
    ++pos_;
    return true;
  }
  bool array(JsonValue* v) {
    v->kind = JsonValue::kArray;
    ++pos_;
    blanks();
    if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
    for (;;) {
      blanks();
      v->items.emplace_back();
      if (!value(&v->items.back())) return false;
      blanks();
      if (pos_ < s_.size() && s_[pos_] == ',') { ++pos_; continue; }
      if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
      return fail("',' or ']' expected");
    }
  }
  bool object(JsonValue* v) {
    v->kind = JsonValue::kObject;
    ++pos_;
    blanks();
    if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
    for (;;) {
      blanks();
      std::string name;
      if (pos_ >= s_.size() || s_[pos_] != '"' || !string(&name)) return fail("field name expected");
      if (v->fields.count(name)) return fail("field name repeated");
      blanks();
      if (pos_ >= s_.size() || s_[pos_++] != ':') return fail("':' expected");
      blanks();
      if (!value(&v->fields[name])) return false;
      v->order.push_back(name);
      blanks();
      if (pos_ < s_.size() && s_[pos_] == ',') { ++pos_; continue; }
      if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
      return fail("',' or '}' expected");
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  static const JsonValue none;
  auto it = fields.find(name);
  return it == fields.end() ? none : it->second;
}

bool ParseJson(const std::string& text, JsonValue* value, std::string* error) {
  Reader reader(text);
  *value = JsonValue();
  const bool ok = reader.document(value);
  if (!ok && error) *error = reader.error;
  return ok;
}
