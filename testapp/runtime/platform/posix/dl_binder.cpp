#include "platform/posix/dl_binder.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace rt {

namespace fs = std::filesystem;

DlBinder::DlBinder(std::vector<std::string> search_dirs)
    : FileBinder(std::move(search_dirs), "/") {}

std::vector<std::string> DlBinder::default_search_dirs() {
  const char* env = std::getenv("MOBIRT_LIBRARY_PATH");
  std::vector<std::string> dirs = split_dirs(env ? env : "", ':');
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

std::string DlBinder::find_in(const std::string& dir, const std::string& name) const {
  fs::path candidate = fs::path(dir) / name;
  std::error_code ec;
  return fs::exists(candidate, ec) ? candidate.string() : std::string();
}

DlBinder::Loaded DlBinder::load(const std::string& path) {
  Loaded lib;
  lib.library = Handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL), [](void* h) { dlclose(h); });
  if (lib.library) {
    lib.path = path;
  } else {
    const char* e = dlerror();
    lib.cause = e ? e : "unknown cause";
  }
  return lib;
}

void* DlBinder::entry_of(void* library, const std::string& entry) {
  dlerror();
  return dlsym(library, entry.c_str());
}

}  // namespace rt
