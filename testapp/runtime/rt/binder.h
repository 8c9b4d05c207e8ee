// Binding outside functions by library file and entry name.
#pragma once

#include <string>
#include <string_view>

#include "rt/errors.h"

namespace rt {

struct Binding {
  void* entry = nullptr;                       // the function, or null
  ErrorCode error = ErrorCode::EntryNotFound;  // when null: LibraryNotFound or EntryNotFound
  std::string detail;                          // when null: the cause, naming file and entry
};

class LibraryBinder {
 public:
  virtual ~LibraryBinder() = default;
  // Called at the moment of every outside call.
  virtual Binding bind(std::string_view file, std::string_view entry) = 0;
};

}  // namespace rt
