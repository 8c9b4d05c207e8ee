#include "platform/win32/win_binder.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace rt {

namespace {

// Paths are UTF-8 inside the runtime, UTF-16 for the system.
using wide_text::from_utf8;
using wide_text::to_utf8;

std::string system_error(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
    text.pop_back();
  }
  return to_utf8(text) + " (system error " + std::to_string(code) + ")";
}

std::string module_path(HMODULE m) {
  wchar_t buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(m, buf, static_cast<DWORD>(std::size(buf)));
  return n ? to_utf8(std::wstring(buf, n)) : std::string();
}

}  // namespace

WinBinder::WinBinder(std::vector<std::string> search_dirs)
    : FileBinder(std::move(search_dirs), "\\/") {}

std::vector<std::string> WinBinder::default_search_dirs() {
  std::vector<std::string> dirs;
  wchar_t env[4096];
  DWORD n =
      GetEnvironmentVariableW(L"MOBIRT_LIBRARY_PATH", env, static_cast<DWORD>(std::size(env)));
  if (n > 0 && n < std::size(env)) dirs = split_dirs(to_utf8(std::wstring_view(env, n)), ';');
  std::string exe = module_path(nullptr);
  if (auto slash = exe.find_last_of("\\/"); slash != std::string::npos) {
    dirs.push_back(exe.substr(0, slash));
  }
  return dirs;
}

std::string WinBinder::find_in(const std::string& dir, const std::string& name) const {
  std::string candidate = dir + "\\" + name;
  return GetFileAttributesW(from_utf8(candidate).c_str()) != INVALID_FILE_ATTRIBUTES
             ? candidate
             : std::string();
}

// A library's path, or the system's reason why there is none.
WinBinder::Loaded WinBinder::loaded(void* module) {
  auto m = static_cast<HMODULE>(module);
  Loaded lib;
  lib.library = Handle(m, [](void* h) { FreeLibrary(static_cast<HMODULE>(h)); });
  if (m) {
    lib.path = module_path(m);
  } else {
    lib.cause = system_error(GetLastError());
  }
  return lib;
}

WinBinder::Loaded WinBinder::load(const std::string& path) {
  // The library's own dependencies are looked for beside it first.
  return loaded(LoadLibraryExW(from_utf8(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

WinBinder::Loaded WinBinder::load_elsewhere(const std::string& name) {
  return loaded(LoadLibraryW(from_utf8(name).c_str()));
}

void* WinBinder::entry_of(void* library, const std::string& entry) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), entry.c_str()));
}

}  // namespace rt
