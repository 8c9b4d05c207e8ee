// Outside libraries through LoadLibrary and GetProcAddress.
//
// How a library file name finds its library (rt/file_binder.h): a name
// holding a '\' or '/' is loaded as given. Otherwise the file is looked for
// in these directories, in this order, and the first one that holds it wins:
//   1. each directory of the environment variable MOBIRT_LIBRARY_PATH
//      (separated by ';'), when it is set;
//   2. the launcher's own directory;
// and when none holds it, the system's own search for a library of that name
// decides (LoadLibrary with the bare name).
#pragma once

#include <string>
#include <vector>

#include "rt/file_binder.h"

namespace rt {

class WinBinder final : public FileBinder {
 public:
  explicit WinBinder(std::vector<std::string> search_dirs = default_search_dirs());

  static std::vector<std::string> default_search_dirs();

 private:
  std::string find_in(const std::string& dir, const std::string& name) const override;
  Loaded load(const std::string& path) override;
  Loaded load_elsewhere(const std::string& name) override;
  void* entry_of(void* library, const std::string& entry) override;
  static Loaded loaded(void* module);
};

}  // namespace rt
