#include "platform/posix/app_loader.h"

#include <dlfcn.h>

namespace rt {

AppLoader::~AppLoader() {
  if (handle_) dlclose(handle_);
}

const AppLibrary* AppLoader::load(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    error_ = e ? e : path + ": cannot be loaded";
    return nullptr;
  }
  using Entry = const AppLibrary* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(h, "mobirt_application"));
  if (!entry) {
    error_ = path + ": not an application library (no entry mobirt_application)";
    dlclose(h);
    return nullptr;
  }
  const AppLibrary* lib = entry();
  if (!lib || lib->abi != app_library_abi || !lib->app_class || !lib->define_classes) {
    error_ = path + ": built for another version of the runtime";
    dlclose(h);
    return nullptr;
  }
  if (handle_) dlclose(handle_);
  handle_ = h;
  return lib;
}

}  // namespace rt
