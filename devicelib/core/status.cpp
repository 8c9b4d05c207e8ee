#include "status.h"

namespace smsdll {

std::string Status::Describe() const {
  if (ok()) return {};
  return "error " + std::to_string(static_cast<int>(error_)) + ": " + text_;
}

}  // namespace smsdll
