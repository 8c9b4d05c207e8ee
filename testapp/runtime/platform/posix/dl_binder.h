// Outside libraries through the dynamic loader.
//
// How a library file name finds its library (rt/file_binder.h): a name
// holding a '/' is loaded as given. Otherwise the Windows name is mapped to
// the Linux one, "X.dll" (any case of ".dll") to "libX.so", and that file is
// looked for in these directories, in this order:
//   1. each directory of the environment variable MOBIRT_LIBRARY_PATH
//      (colon-separated), when it is set;
//   2. the launcher's own directory (the directory of /proc/self/exe);
//   3. the lib directory beside it (<launcher dir>/../lib), where the build
//      puts shared libraries.
// The first directory holding the file wins.
#pragma once

#include <string>
#include <vector>

#include "rt/file_binder.h"

namespace rt {

class DlBinder final : public FileBinder {
 public:
  explicit DlBinder(std::vector<std::string> search_dirs = default_search_dirs());

  static std::vector<std::string> default_search_dirs();
  // "ProjSmsDLL.dll" -> "libProjSmsDLL.so"; other names unchanged.
  static std::string linux_file_name(std::string_view file);

 private:
  std::string file_name(std::string_view file) const override { return linux_file_name(file); }
  std::string find_in(const std::string& dir, const std::string& name) const override;
  Loaded load(const std::string& path) override;
  void* entry_of(void* library, const std::string& entry) override;
};

}  // namespace rt
