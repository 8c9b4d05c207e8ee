#include "platform/posix/dl_binder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace rt {

namespace fs = std::filesystem;

DlBinder::DlBinder(std::vector<std::string> search_dirs) : dirs_(std::move(search_dirs)) {}

DlBinder::~DlBinder() {
  for (auto& [name, lib] : loaded_) dlclose(lib.handle);
}

std::vector<std::string> DlBinder::default_search_dirs() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("MOBIRT_LIBRARY_PATH")) {
    std::string_view rest(env);
    while (!rest.empty()) {
      auto colon = rest.find(':');
      auto part = rest.substr(0, colon);
      if (!part.empty()) dirs.emplace_back(part);
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    dirs.push_back(exe.parent_path().string());
    dirs.push_back((exe.parent_path().parent_path() / "lib").string());
  }
  return dirs;
}

std::string DlBinder::linux_file_name(std::string_view file) {
  if (file.size() > 4) {
    auto ext = file.substr(file.size() - 4);
    bool dll =
        ext[0] == '.' && (ext[1] | 0x20) == 'd' && (ext[2] | 0x20) == 'l' && (ext[3] | 0x20) == 'l';
    if (dll) return "lib" + std::string(file.substr(0, file.size() - 4)) + ".so";
  }
  return std::string(file);
}

Binding DlBinder::bind(std::string_view file, std::string_view entry) {
  Binding b;
  auto it = loaded_.find(file);
  if (it == loaded_.end()) {
    std::string path;  // the file that was found, or empty
    std::string cause;
    void* handle = nullptr;
    if (file.find('/') != std::string_view::npos) {
      path = std::string(file);
    } else {
      const std::string name = linux_file_name(file);
      std::string tried;
      for (const auto& dir : dirs_) {
        fs::path candidate = fs::path(dir) / name;
        std::error_code ec;
        if (fs::exists(candidate, ec)) {
          path = candidate.string();
          break;  // the first directory that holds the file wins
        }
        tried += (tried.empty() ? "" : ", ") + dir;
      }
      if (path.empty()) {
        cause = name + " is in none of: " + (tried.empty() ? "(no directories)" : tried);
      }
    }
    if (!path.empty()) {
      handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        const char* e = dlerror();
        cause = path + " cannot be loaded: " + (e ? e : "unknown cause");
      }
    }
    if (!handle) {
      b.error = ErrorCode::LibraryNotFound;
      b.detail = std::string(file) + ": " + cause;
      return b;
    }
    std::fprintf(stderr, "mobirt: %.*s is %s\n", static_cast<int>(file.size()), file.data(),
                 path.c_str());
    it = loaded_.emplace(std::string(file), Loaded{handle, std::move(path)}).first;
  }
  dlerror();
  b.entry = dlsym(it->second.handle, std::string(entry).c_str());
  if (!b.entry) {
    b.error = ErrorCode::EntryNotFound;
    b.detail = std::string(file) + " (" + it->second.path + ") has no entry " + std::string(entry);
  }
  return b;
}

std::string DlBinder::bound_path(std::string_view file) const {
  auto it = loaded_.find(file);
  return it == loaded_.end() ? std::string() : it->second.path;
}

}  // namespace rt
