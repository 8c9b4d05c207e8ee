// Outside libraries through the dynamic loader.
//
// How a library file name finds its library: a name holding a '/' is loaded
// as given. Otherwise the Windows name is mapped to the Linux one, "X.dll"
// (any case of ".dll") to "libX.so", and that file is looked for in these
// directories, in this order:
//   1. each directory of the environment variable MOBIRT_LIBRARY_PATH
//      (colon-separated), when it is set;
//   2. the launcher's own directory (the directory of /proc/self/exe);
//   3. the lib directory beside it (<launcher dir>/../lib), where the build
//      puts shared libraries.
// The search stops at the first directory holding the file, and that file is
// loaded (the later directories are not looked at); the file that was bound
// is named once on standard error. A library is loaded once and kept until
// the binder goes; its entries are looked up at every call.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "rt/binder.h"

namespace rt {

class DlBinder final : public LibraryBinder {
 public:
  explicit DlBinder(std::vector<std::string> search_dirs = default_search_dirs());
  ~DlBinder() override;
  DlBinder(const DlBinder&) = delete;
  DlBinder& operator=(const DlBinder&) = delete;

  Binding bind(std::string_view file, std::string_view entry) override;

  static std::vector<std::string> default_search_dirs();
  // "ProjSmsDLL.dll" -> "libProjSmsDLL.so"; other names unchanged.
  static std::string linux_file_name(std::string_view file);
  const std::vector<std::string>& search_dirs() const { return dirs_; }
  // The file that `file` was bound to, empty before it is loaded.
  std::string bound_path(std::string_view file) const;

 private:
  struct Loaded {
    void* handle;
    std::string path;
  };
  std::vector<std::string> dirs_;
  std::map<std::string, Loaded, std::less<>> loaded_;
};

}  // namespace rt
