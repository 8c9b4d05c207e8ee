#include "dl_binder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace rt {

namespace fs = std::filesystem;

DlBinder::DlBinder(std::vector<std::string> search_dirs) : dirs_(std::move(search_dirs)) {}

DlBinder::~DlBinder() {
  for (auto& [name, handle] : loaded_) dlclose(handle);
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
  void* handle = nullptr;
  if (auto it = loaded_.find(file); it != loaded_.end()) {
    handle = it->second;
  } else {
    std::string where;
    if (file.find('/') != std::string_view::npos) {
      where = std::string(file);
      handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) where = dlerror();
    } else {
      const std::string name = linux_file_name(file);
      std::string tried;
      for (const auto& dir : dirs_) {
        fs::path candidate = fs::path(dir) / name;
        std::error_code ec;
        if (!fs::exists(candidate, ec)) {
          tried += (tried.empty() ? "" : ", ") + dir;
          continue;
        }
        handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
          where = dlerror();
          break;
        }
      }
      if (!handle && where.empty()) {
        where = name + " is in none of: " + (tried.empty() ? "(no directories)" : tried);
      }
    }
    if (!handle) {
      b.error = ErrorCode::LibraryNotFound;
      b.detail = std::string(file) + ": " + where;
      return b;
    }
    loaded_.emplace(std::string(file), handle);
  }
  dlerror();
  b.entry = dlsym(handle, std::string(entry).c_str());
  if (!b.entry) {
    b.error = ErrorCode::EntryNotFound;
    b.detail = std::string(file) + " has no entry " + std::string(entry);
  }
  return b;
}

}  // namespace rt
