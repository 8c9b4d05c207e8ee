// A small JSON reader and the writing helpers of the qualification bench:
// objects, arrays, strings (\u escapes, surrogate pairs), numbers, booleans
// and null; enough for the simulator's scenario list and record, and for the
// result lines that the calls child writes.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qualify::json {

class Value {
 public:
  enum class Type { Null, Bool, Number, String, Array, Object };

  Value() = default;
  static Value boolean(bool b);
  static Value number(double d);
  static Value string(std::string s);
  static Value array(std::vector<Value> items);
  static Value object(std::map<std::string, Value, std::less<>> members);

  Type type() const { return type_; }
  bool is_null() const { return type_ == Type::Null; }

  // A member of an object; a null value when this is no object or has no such member.
  const Value& operator[](std::string_view key) const;
  bool has(std::string_view key) const;
  // The member's value, or `fallback` when it is missing or of another type.
  std::string str(std::string_view key, std::string fallback = {}) const;
  double num(std::string_view key, double fallback = 0) const;
  bool flag(std::string_view key, bool fallback = false) const;

  const std::string& as_string() const { return string_; }
  double as_number() const { return number_; }
  bool as_bool() const { return bool_; }
  const std::vector<Value>& items() const { return items_; }
  const std::map<std::string, Value, std::less<>>& members() const { return members_; }

 private:
  Type type_ = Type::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<Value> items_;
  std::map<std::string, Value, std::less<>> members_;
};

// A text that is not JSON; the message says where and why.
struct ParseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Parses one JSON text (surrounding white space allowed). Throws ParseError.
Value parse(std::string_view text);

// Writes a value back as compact JSON (strings as UTF-8, control characters escaped).
std::string write(const Value& value);

// A string as a JSON string literal, quotes included.
std::string quote(std::string_view utf8);

}  // namespace qualify::json
