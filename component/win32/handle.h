// An owned Win32 kernel handle, closed with CloseHandle. Functions that
// report failure with a null handle (CreateEventW) and those that report it
// with INVALID_HANDLE_VALUE (CreateFileW) both leave it empty.
#pragma once

#include <windows.h>

#include <utility>

namespace mobi::win32 {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(Handle&& other) noexcept : h_(other.Detach()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  // Closes the handle held, if any, and holds `h`.
  void Reset(HANDLE h = nullptr) {
    if (Valid(h_)) CloseHandle(h_);
    h_ = h;
  }
  // Gives up ownership without closing.
  HANDLE Detach() { return std::exchange(h_, nullptr); }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return Valid(h_); }

 private:
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

  HANDLE h_ = nullptr;
};

}  // namespace mobi::win32
