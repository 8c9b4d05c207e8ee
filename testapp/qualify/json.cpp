#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qualify::json {

Value Value::boolean(bool b) {
  Value v;
  v.type_ = Type::Bool;
  v.bool_ = b;
  return v;
}
Value Value::number(double d) {
  Value v;
  v.type_ = Type::Number;
  v.number_ = d;
  return v;
}
Value Value::string(std::string s) {
  Value v;
  v.type_ = Type::String;
  v.string_ = std::move(s);
  return v;
}
Value Value::array(std::vector<Value> items) {
  Value v;
  v.type_ = Type::Array;
  v.items_ = std::move(items);
  return v;
}
Value Value::object(std::map<std::string, Value, std::less<>> members) {
  Value v;
  v.type_ = Type::Object;
  v.members_ = std::move(members);
  return v;
}

const Value& Value::operator[](std::string_view key) const {
  static const Value null;
  auto it = members_.find(key);
  return it == members_.end() ? null : it->second;
}
bool Value::has(std::string_view key) const {
  return members_.find(key) != members_.end();
}
std::string Value::str(std::string_view key, std::string fallback) const {
  const Value& v = (*this)[key];
  return v.type_ == Type::String ? v.string_ : fallback;
}
double Value::num(std::string_view key, double fallback) const {
  const Value& v = (*this)[key];
  return v.type_ == Type::Number ? v.number_ : fallback;
}
bool Value::flag(std::string_view key, bool fallback) const {
  const Value& v = (*this)[key];
  return v.type_ == Type::Bool ? v.bool_ : fallback;
}

namespace {

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Value document() {
    Value v = value(0);
    space();
    if (i_ != s_.size()) fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw ParseError("JSON: " + why + " at offset " + std::to_string(i_));
  }
  void space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool take(char c) {
    space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }
  bool word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  Value value(int depth) {
    if (depth > 64) fail("nesting too deep");
    space();
    if (i_ >= s_.size()) fail("unexpected end");
    char c = s_[i_];
    if (c == '{') {
      ++i_;
      std::map<std::string, Value, std::less<>> members;
      if (take('}')) return Value::object(std::move(members));
      do {
        space();
        if (i_ >= s_.size() || s_[i_] != '"') fail("expected a member name");
        std::string key = string();
        expect(':');
        members.insert_or_assign(std::move(key), value(depth + 1));
      } while (take(','));
      expect('}');
      return Value::object(std::move(members));
    }
    if (c == '[') {
      ++i_;
      std::vector<Value> items;
      if (take(']')) return Value::array(std::move(items));
      do {
        items.push_back(value(depth + 1));
      } while (take(','));
      expect(']');
      return Value::array(std::move(items));
    }
    if (c == '"') return Value::string(string());
    if (word("true")) return Value::boolean(true);
    if (word("false")) return Value::boolean(false);
    if (word("null")) return Value();
    return number();
  }

  Value number() {
    std::size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    std::size_t digits = i_;
    while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.' || s_[i_] == 'e' ||
                              s_[i_] == 'E' || s_[i_] == '+' || s_[i_] == '-'))
      ++i_;
    if (i_ == digits) fail("expected a value");
    std::string text(s_.substr(start, i_ - start));
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(d)) fail("malformed number " + text);
    return Value::number(d);
  }

  unsigned hex4() {
    if (i_ + 4 > s_.size()) fail("short \\u escape");
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<unsigned>(c - 'A' + 10);
      else
        fail("bad \\u escape");
    }
    return v;
  }

  std::string string() {
    ++i_;  // the opening quote
    std::string out;
    for (;;) {
      if (i_ >= s_.size()) fail("unterminated string");
      char c = s_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) fail("unterminated string");
      switch (char e = s_[i_++]) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          char32_t u = hex4();
          if (u >= 0xD800 && u <= 0xDBFF) {
            if (!word("\\u")) fail("a high surrogate without its low one");
            char32_t low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("a high surrogate without its low one");
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          } else if (u >= 0xDC00 && u <= 0xDFFF) {
            fail("a low surrogate alone");
          }
          append_utf8(out, u);
          break;
        }
        default:
          fail(std::string("unknown escape \\") + e);
      }
    }
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

Value parse(std::string_view text) {
  return Parser(text).document();
}

std::string quote(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string write(const Value& v) {
  switch (v.type()) {
    case Value::Type::Null:
      return "null";
    case Value::Type::Bool:
      return v.as_bool() ? "true" : "false";
    case Value::Type::Number: {
      double d = v.as_number();
      char buf[32];
      if (d == std::floor(d) && std::fabs(d) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", d);
      else
        std::snprintf(buf, sizeof buf, "%.15g", d);
      return buf;
    }
    case Value::Type::String:
      return quote(v.as_string());
    case Value::Type::Array: {
      std::string out = "[";
      for (const auto& item : v.items()) out += (out.size() > 1 ? "," : "") + write(item);
      return out + "]";
    }
    case Value::Type::Object: {
      std::string out = "{";
      for (const auto& [key, member] : v.members())
        out += (out.size() > 1 ? "," : "") + quote(key) + ":" + write(member);
      return out + "}";
    }
  }
  return "null";
}

}  // namespace qualify::json
