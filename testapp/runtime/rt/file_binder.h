// Binding outside functions by library file: what every platform does alike.
//
// A file name holding one of the platform's path separators is loaded as
// given. Otherwise the platform's name for the file (file_name()) is looked
// for in the search directories, in their order; the search stops at the
// first directory holding the file, and that file is loaded (the later
// directories are not looked at). When none holds it, the platform may still
// find it its own way (load_elsewhere()). The file that was bound is named
// once on standard error. A library is loaded once and kept until the binder
// goes; its entries are looked up at every call. The platform's binder
// supplies the system calls.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rt/binder.h"

namespace rt {

class FileBinder : public LibraryBinder {
 public:
  FileBinder(const FileBinder&) = delete;
  FileBinder& operator=(const FileBinder&) = delete;

  Binding bind(std::string_view file, std::string_view entry) final;

  const std::vector<std::string>& search_dirs() const { return dirs_; }
  // The file that `file` was bound to, empty before it is loaded.
  std::string bound_path(std::string_view file) const;

  // The directories of a list such as MOBIRT_LIBRARY_PATH, in order, without
  // empty ones.
  static std::vector<std::string> split_dirs(std::string_view list, char separator);

 protected:
  // `separators`: the characters that make a file name a path.
  FileBinder(std::vector<std::string> search_dirs, std::string_view separators);

  // A loaded library and how to free it when the binder goes.
  using Handle = std::unique_ptr<void, void (*)(void*)>;
  struct Loaded {
    Handle library{nullptr, nullptr};
    std::string path;   // loaded: the file that was bound
    std::string cause;  // not loaded: the system's reason
  };

  // The name to look for in the directories ("X.dll" as it is, by default).
  virtual std::string file_name(std::string_view file) const { return std::string(file); }
  // The path of `name` in `dir` when the directory holds it, else empty.
  virtual std::string find_in(const std::string& dir, const std::string& name) const = 0;
  virtual Loaded load(const std::string& path) = 0;
  // When no directory holds `name`: the system's own search, where the
  // platform has one (a null library with an empty cause: it has none).
  virtual Loaded load_elsewhere(const std::string& name);
  // The entry's address in the library, or null.
  virtual void* entry_of(void* library, const std::string& entry) = 0;

 private:
  Loaded find_and_load(std::string_view file);
  Loaded load_or_say_why(const std::string& path);

  std::vector<std::string> dirs_;
  std::string separators_;
  std::map<std::string, Loaded, std::less<>> loaded_;
};

}  // namespace rt
