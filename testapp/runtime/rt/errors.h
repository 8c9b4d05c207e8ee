// Runtime errors: each has a number and a readable description.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace rt {

class Runtime;

enum class ErrorCode : int {
  NullObjectReference = 20502,   // an object reference that holds no valid object was used
  ListPositionBelowOne = 20503,  // a list position below 1 was written
  NullList = 20508,              // a list that is null was used
  LibraryNotFound = 20520,       // the library of an outside function cannot be loaded
  EntryNotFound = 20521,         // the library has no such entry
  BufferOverrun = 20522,         // an outside function broke a buffer: past its end, or no NUL left
  MessageBoxFailed = 20523,      // a message box could not be shown
  InternalFailure = 20599,       // any other failure inside the runtime (out of memory, ...)
};

// The fixed description of a code, e.g. "Null object reference".
std::string_view describe(ErrorCode code);

// What the runtime answers when an error is raised.
enum class ErrorAnswer { Stop, Continue };

// A runtime error that ends the running event body. Thrown by the runtime
// only; caught by the runtime where it runs the body.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(ErrorCode code, std::string detail);
  ErrorCode code() const { return code_; }
  const std::string& detail() const { return detail_; }

 private:
  friend class Runtime;
  bool recorded_ = false;  // already in the runtime's error log
  ErrorCode code_;
  std::string detail_;
};

}  // namespace rt
