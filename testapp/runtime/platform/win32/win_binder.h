// Outside libraries through LoadLibrary and GetProcAddress.
//
// How a library file name finds its library: a name holding a '\' or '/' is
// loaded as given. Otherwise the file is looked for in these directories, in
// this order, and the first one that holds it wins:
//   1. each directory of the environment variable MOBIRT_LIBRARY_PATH
//      (separated by ';'), when it is set;
//   2. the launcher's own directory;
// and when none holds it, the system's own search for a library of that name
// decides (LoadLibrary with the bare name). The file that was bound is named
// once on standard error. A library is loaded once and kept until the binder
// goes; its entries are looked up at every call.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "rt/binder.h"

namespace rt {

class WinBinder final : public LibraryBinder {
 public:
  explicit WinBinder(std::vector<std::string> search_dirs = default_search_dirs());
  ~WinBinder() override;
  WinBinder(const WinBinder&) = delete;
  WinBinder& operator=(const WinBinder&) = delete;

  Binding bind(std::string_view file, std::string_view entry) override;

  static std::vector<std::string> default_search_dirs();
  const std::vector<std::string>& search_dirs() const { return dirs_; }
  // The file that `file` was bound to, empty before it is loaded.
  std::string bound_path(std::string_view file) const;

 private:
  struct Loaded {
    void* module;
    std::string path;
  };
  std::vector<std::string> dirs_;
  std::map<std::string, Loaded, std::less<>> loaded_;
};

}  // namespace rt
