#include "rt/file_binder.h"

#include <cstdio>

namespace rt {

FileBinder::FileBinder(std::vector<std::string> search_dirs, std::string_view separators)
    : dirs_(std::move(search_dirs)), separators_(separators) {}

FileBinder::Loaded FileBinder::load_elsewhere(const std::string&) {
  return {};
}

Binding FileBinder::bind(std::string_view file, std::string_view entry) {
  Binding b;
  auto it = loaded_.find(file);
  if (it == loaded_.end()) {
    Loaded lib = find_and_load(file);
    if (!lib.library) {
      b.error = ErrorCode::LibraryNotFound;
      b.detail = std::string(file) + ": " + lib.cause;
      return b;
    }
    std::fprintf(stderr, "mobirt: %.*s is %s\n", static_cast<int>(file.size()), file.data(),
                 lib.path.c_str());
    std::fflush(stderr);
    it = loaded_.emplace(std::string(file), std::move(lib)).first;
  }
  b.entry = entry_of(it->second.library.get(), std::string(entry));
  if (!b.entry) {
    b.error = ErrorCode::EntryNotFound;
    b.detail = std::string(file) + " (" + it->second.path + ") has no entry " + std::string(entry);
  }
  return b;
}

std::string FileBinder::bound_path(std::string_view file) const {
  auto it = loaded_.find(file);
  return it == loaded_.end() ? std::string() : it->second.path;
}

std::vector<std::string> FileBinder::split_dirs(std::string_view list, char separator) {
  std::vector<std::string> dirs;
  while (!list.empty()) {
    auto end = list.find(separator);
    if (auto part = list.substr(0, end); !part.empty()) dirs.emplace_back(part);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return dirs;
}

FileBinder::Loaded FileBinder::find_and_load(std::string_view file) {
  if (file.find_first_of(separators_) != std::string_view::npos) {
    return load_or_say_why(std::string(file));
  }
  const std::string name = file_name(file);
  for (const auto& dir : dirs_) {
    // The first directory that holds the file wins.
    if (std::string path = find_in(dir, name); !path.empty()) return load_or_say_why(path);
  }
  std::string tried;
  for (const auto& dir : dirs_) tried += (tried.empty() ? "" : ", ") + dir;
  const std::string nowhere =
      name + " is in none of: " + (tried.empty() ? "(no directories)" : tried);
  Loaded lib = load_elsewhere(name);
  if (!lib.library) {
    lib.cause =
        lib.cause.empty() ? nowhere : nowhere + ", nor where the system looks: " + lib.cause;
  }
  return lib;
}

FileBinder::Loaded FileBinder::load_or_say_why(const std::string& path) {
  Loaded lib = load(path);
  if (!lib.library) lib.cause = path + " cannot be loaded: " + lib.cause;
  return lib;
}

}  // namespace rt
