// Outside functions: declared with library file, entry name and a code, called
// by file and entry name at the moment of the call.
//
// The code gives the result type, then per parameter an optional R (by
// reference) and its type: B boolean, L long, S string. "BLLLSRLRS" is a
// function returning a boolean that takes three longs, a string, a long by
// reference and a string by reference.
//
// A declaration names the C++ signature it is called with; the code and the
// signature are checked against each other when the program is compiled:
//
//   B result  <-> bool           L result  <-> Long
//   B         <-> bool           L         <-> Long        S  <-> const Text&
//   RL        <-> Long&          RS        <-> Text&
//
// How each kind reaches the library (C calling convention of the platform,
// stdcall on 32-bit Windows):
//
//   B  a 32-bit int, nonzero for true (also the type of a B result)
//   L  a 32-bit int
//   S  const char*, a NUL-terminated copy of the text
//   RL int32_t*, a writable 32-bit cell holding the variable's value; the
//      variable takes the cell's value after the call
//   RS char*, a writable NUL-terminated buffer holding the variable's text,
//      with room for the text and its NUL; the variable takes the buffer up
//      to its first NUL after the call
//
// Every cell and buffer has guard room behind it (GuardedBuffer). When the
// library wrote past one (past a text's NUL slot, or beyond a cell's four
// bytes), or left no NUL within a text's room, no variable is changed and the
// call raises error 20522, which ends the calling body; its detail names the
// fault and the parameter. A write further away than the guard ends the
// process with a message naming the function and the parameter
// (OutsideCallWatch). A library or entry that cannot be bound raises 20520 or
// 20521 at the call. While the function runs, the backend shows the runtime
// busy.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "rt/guarded_buffer.h"
#include "rt/runtime.h"
#include "rt/text.h"

// The calling convention of outside functions: the platform's C convention,
// stdcall on 32-bit Windows (the callee pops its arguments).
#if defined(_WIN32) && !defined(_WIN64)
#define RT_OUTSIDE_CALL __stdcall
#else
#define RT_OUTSIDE_CALL
#endif

namespace rt::ext {

// Tells the runtime that an outside call runs (the backend shows it busy).
class OutsideCallScope {
 public:
  explicit OutsideCallScope(Runtime& rt) : rt_(rt) { rt_.outside_call(true); }
  ~OutsideCallScope() { rt_.outside_call(false); }
  OutsideCallScope(const OutsideCallScope&) = delete;
  OutsideCallScope& operator=(const OutsideCallScope&) = delete;

 private:
  Runtime& rt_;
};

enum class Kind : char { None, Bool, Long, Text, RefLong, RefText };

// A code as a template argument: External<"BLLRS", ...>.
template <std::size_t N>
struct Code {
  char s[N]{};
  constexpr Code(const char (&a)[N]) {
    for (std::size_t i = 0; i < N; ++i) s[i] = a[i];
  }
  constexpr std::string_view view() const { return {s, N - 1}; }
};

inline constexpr std::size_t max_params = 32;

struct Signature {
  Kind result = Kind::None;
  std::array<Kind, max_params> params{};
  std::size_t count = 0;
  bool ok = false;
};

// Parses a code; ok is false for a malformed one.
constexpr Signature parse(std::string_view code) {
  Signature sig;
  if (code.empty()) return sig;
  if (code[0] == 'B') {
    sig.result = Kind::Bool;
  } else if (code[0] == 'L') {
    sig.result = Kind::Long;
  } else {
    return sig;  // results of other kinds are not supported
  }
  for (std::size_t i = 1; i < code.size(); ++i) {
    if (sig.count == max_params) return sig;
    bool by_ref = code[i] == 'R';
    if (by_ref && ++i == code.size()) return sig;
    Kind k;
    switch (code[i]) {
      case 'B':
        if (by_ref) return sig;  // booleans by reference are not supported
        k = Kind::Bool;
        break;
      case 'L':
        k = by_ref ? Kind::RefLong : Kind::Long;
        break;
      case 'S':
        k = by_ref ? Kind::RefText : Kind::Text;
        break;
      default:
        return sig;
    }
    sig.params[sig.count++] = k;
  }
  sig.ok = true;
  return sig;
}

template <class A>
inline constexpr Kind param_kind = Kind::None;
template <>
inline constexpr Kind param_kind<bool> = Kind::Bool;
template <>
inline constexpr Kind param_kind<Long> = Kind::Long;
template <>
inline constexpr Kind param_kind<const Text&> = Kind::Text;
template <>
inline constexpr Kind param_kind<Long&> = Kind::RefLong;
template <>
inline constexpr Kind param_kind<Text&> = Kind::RefText;

template <class R>
inline constexpr Kind result_kind = Kind::None;
template <>
inline constexpr Kind result_kind<bool> = Kind::Bool;
template <>
inline constexpr Kind result_kind<Long> = Kind::Long;

template <Kind K>
struct CType;
template <>
struct CType<Kind::Bool> {
  using type = std::int32_t;
};
template <>
struct CType<Kind::Long> {
  using type = std::int32_t;
};
template <>
struct CType<Kind::Text> {
  using type = const char*;
};
template <>
struct CType<Kind::RefLong> {
  using type = std::int32_t*;
};
template <>
struct CType<Kind::RefText> {
  using type = char*;
};

// How one argument travels to the library and back.
template <class A>
struct Slot;

template <>
struct Slot<bool> {
  explicit Slot(bool v) : value(v ? 1 : 0) {}
  std::int32_t c() { return value; }
  const GuardedBuffer* guarded() const { return nullptr; }
  static constexpr const char* kind = "boolean";
  const char* fault() const { return nullptr; }
  void write_back() {}
  std::int32_t value;
};

template <>
struct Slot<Long> {
  explicit Slot(Long v) : value(v) {}
  std::int32_t c() { return value; }
  const GuardedBuffer* guarded() const { return nullptr; }
  static constexpr const char* kind = "long";
  const char* fault() const { return nullptr; }
  void write_back() {}
  std::int32_t value;
};

// A text's bytes and NUL in a guarded buffer.
inline void fill_text(GuardedBuffer& buf, const Text& text) {
  if (!text.empty()) std::memcpy(buf.data(), text.data(), text.size());
  buf.data()[text.size()] = 0;
}
inline const char* text_fault(const GuardedBuffer& buf) {
  if (!buf.guard_intact()) return "wrote past the end of the text buffer";
  if (!std::memchr(buf.data(), 0, buf.room())) return "left the text buffer without its NUL";
  return nullptr;
}

template <>
struct Slot<const Text&> {
  explicit Slot(const Text& v) : buf(v.size() + 1) { fill_text(buf, v); }
  const char* c() { return reinterpret_cast<const char*>(buf.data()); }
  const GuardedBuffer* guarded() const { return &buf; }
  static constexpr const char* kind = "text";
  const char* fault() const { return text_fault(buf); }
  void write_back() {}
  GuardedBuffer buf;
};

template <>
struct Slot<Long&> {
  explicit Slot(Long& v) : var(v), buf(sizeof(std::int32_t)) {
    std::memcpy(buf.data(), &v, sizeof v);
  }
  std::int32_t* c() { return reinterpret_cast<std::int32_t*>(buf.data()); }
  const GuardedBuffer* guarded() const { return &buf; }
  static constexpr const char* kind = "by-reference long";
  const char* fault() const {
    return buf.guard_intact() ? nullptr : "wrote past the end of the long cell";
  }
  void write_back() { std::memcpy(&var, buf.data(), sizeof var); }
  Long& var;
  GuardedBuffer buf;
};

template <>
struct Slot<Text&> {
  explicit Slot(Text& v) : var(v), buf(v.size() + 1) { fill_text(buf, v); }
  char* c() { return reinterpret_cast<char*>(buf.data()); }
  const GuardedBuffer* guarded() const { return &buf; }
  static constexpr const char* kind = "by-reference text";
  const char* fault() const { return text_fault(buf); }
  void write_back() { var.assign(reinterpret_cast<const char*>(buf.data())); }
  Text& var;
  GuardedBuffer buf;
};

template <Code C, class Sig>
class Function;

template <Code C, class R, class... A>
class Function<C, R(A...)> {
  static constexpr Signature sig = parse(C.view());
  static_assert(sig.ok, "the declaration's code is malformed");
  static_assert(sig.result == result_kind<R>, "the result type differs from the code");
  static_assert(sig.count == sizeof...(A), "the parameter count differs from the code");

  template <std::size_t... I>
  static constexpr bool kinds_match(std::index_sequence<I...>) {
    return ((param_kind<A> == sig.params[I]) && ...);
  }
  static_assert(kinds_match(std::index_sequence_for<A...>{}),
                "the parameter kinds differ from the code");

  using CFn =
      typename CType<sig.result>::type(RT_OUTSIDE_CALL*)(typename CType<param_kind<A>>::type...);

 public:
  constexpr Function(std::string_view file, std::string_view entry) : file_(file), entry_(entry) {}

  static constexpr std::string_view code() { return C.view(); }
  constexpr std::string_view file() const { return file_; }
  constexpr std::string_view entry() const { return entry_; }

  // Binds and calls. When the call cannot be made, or the library broke a
  // buffer, a runtime error ends the calling body; should the runtime let
  // execution continue, the result is false (0) and no variable changes.
  R operator()(Runtime& rt, A... args) const {
    void* sym = rt.bind(file_, entry_);
    if (!sym) return R{};
    auto fn = reinterpret_cast<CFn>(sym);
    std::tuple<Slot<A>...> cells(args...);
    typename CType<sig.result>::type result{};
    {
      OutsideCallWatch watch(entry_);
      std::apply(
          [&](const auto&... s) {
            std::size_t n = 0;
            ((++n, s.guarded() ? watch.watch(*s.guarded(), n, s.kind) : void()), ...);
          },
          cells);
      OutsideCallScope busy(rt);
      result = std::apply([&](auto&... s) { return fn(s.c()...); }, cells);
    }
    const char* fault = nullptr;
    std::size_t faulty = 0;
    std::apply(
        [&](const auto&... s) {
          std::size_t n = 0;
          ((++n, !fault && (fault = s.fault()) ? void(faulty = n) : void()), ...);
        },
        cells);
    if (fault) {
      rt.raise(ErrorCode::BufferOverrun,
               std::string(entry_) + " " + fault + " of its parameter " + std::to_string(faulty));
      return R{};
    }
    std::apply([](auto&... s) { (s.write_back(), ...); }, cells);
    if constexpr (std::is_same_v<R, bool>) {
      return result != 0;
    } else {
      return static_cast<R>(result);
    }
  }

 private:
  std::string_view file_;
  std::string_view entry_;
};

}  // namespace rt::ext

namespace rt {
// An outside function declaration, e.g.
//   inline constexpr External<"BLLRS", bool(Long, Long, Text&)>
//       hs_close_device{"ProjSmsDLL.dll", "hs_close_device"};
template <ext::Code C, class Sig>
using External = ext::Function<C, Sig>;
}  // namespace rt
