// Loads an application library through the dynamic loader.
#pragma once

#include <string>

#include "rt/app_library.h"

namespace rt {

class AppLoader {
 public:
  AppLoader() = default;
  ~AppLoader();
  AppLoader(const AppLoader&) = delete;
  AppLoader& operator=(const AppLoader&) = delete;

  // Loads the library at `path` and returns what it exports, or null with
  // error() naming the cause (missing file, no entry, another runtime's ABI).
  const AppLibrary* load(const std::string& path);
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace rt
