#include "rt/errors.h"

namespace rt {

std::string_view describe(ErrorCode code) {
  switch (code) {
    case ErrorCode::NullObjectReference:
      return "Null object reference";
    case ErrorCode::ListPositionBelowOne:
      return "List position below 1";
    case ErrorCode::NullList:
      return "Null list";
    case ErrorCode::LibraryNotFound:
      return "Library of outside function not found";
    case ErrorCode::EntryNotFound:
      return "Entry of outside function not found";
    case ErrorCode::BufferOverrun:
      return "Outside function broke a buffer it was given";
    case ErrorCode::MessageBoxFailed:
      return "Message box could not be shown";
    case ErrorCode::InternalFailure:
      return "Internal runtime failure";
  }
  return "Unknown runtime error";
}

namespace {
std::string compose(ErrorCode code, const std::string& detail) {
  std::string s = "error " + std::to_string(static_cast<int>(code)) + ": ";
  s += describe(code);
  if (!detail.empty()) s += " (" + detail + ")";
  return s;
}
}  // namespace

RuntimeError::RuntimeError(ErrorCode code, std::string detail)
    : std::runtime_error(compose(code, detail)), code_(code), detail_(std::move(detail)) {}

}  // namespace rt
