#include "platform/win32/win_binder.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

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

WinBinder::WinBinder(std::vector<std::string> search_dirs) : dirs_(std::move(search_dirs)) {}

WinBinder::~WinBinder() {
  for (auto& [name, lib] : loaded_) FreeLibrary(static_cast<HMODULE>(lib.module));
}

std::vector<std::string> WinBinder::default_search_dirs() {
  std::vector<std::string> dirs;
  wchar_t env[4096];
  DWORD n =
      GetEnvironmentVariableW(L"MOBIRT_LIBRARY_PATH", env, static_cast<DWORD>(std::size(env)));
  if (n > 0 && n < std::size(env)) {
    std::string all = to_utf8(std::wstring(env, n));
    std::string_view rest(all);
    while (!rest.empty()) {
      auto sep = rest.find(';');
      auto part = rest.substr(0, sep);
      if (!part.empty()) dirs.emplace_back(part);
      if (sep == std::string_view::npos) break;
      rest.remove_prefix(sep + 1);
    }
  }
  std::string exe = module_path(nullptr);
  if (auto slash = exe.find_last_of("\\/"); slash != std::string::npos) {
    dirs.push_back(exe.substr(0, slash));
  }
  return dirs;
}

Binding WinBinder::bind(std::string_view file, std::string_view entry) {
  Binding b;
  auto it = loaded_.find(file);
  if (it == loaded_.end()) {
    std::wstring path;
    if (file.find_first_of("\\/") != std::string_view::npos) {
      path = from_utf8(file);
    } else {
      for (const auto& dir : dirs_) {
        std::wstring candidate = from_utf8(dir) + L"\\" + from_utf8(file);
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) {
          path = candidate;
          break;  // the first directory that holds the file wins
        }
      }
    }
    HMODULE m = nullptr;
    std::string cause;
    if (!path.empty()) {
      // The library's own dependencies are looked for beside it first.
      m = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (!m) cause = to_utf8(path) + " cannot be loaded: " + system_error(GetLastError());
    } else {
      m = LoadLibraryW(from_utf8(file).c_str());
      if (!m) {
        std::string tried;
        for (const auto& dir : dirs_) tried += (tried.empty() ? "" : ", ") + dir;
        cause = std::string(file) +
                " is in none of: " + (tried.empty() ? "(no directories)" : tried) +
                ", nor where the system looks: " + system_error(GetLastError());
      }
    }
    if (!m) {
      b.error = ErrorCode::LibraryNotFound;
      b.detail = std::string(file) + ": " + cause;
      return b;
    }
    std::string bound = module_path(m);
    std::fprintf(stderr, "mobirt: %.*s is %s\n", static_cast<int>(file.size()), file.data(),
                 bound.c_str());
    std::fflush(stderr);
    it = loaded_.emplace(std::string(file), Loaded{m, std::move(bound)}).first;
  }
  b.entry = reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(it->second.module), std::string(entry).c_str()));
  if (!b.entry) {
    b.error = ErrorCode::EntryNotFound;
    b.detail = std::string(file) + " (" + it->second.path + ") has no entry " + std::string(entry);
  }
  return b;
}

std::string WinBinder::bound_path(std::string_view file) const {
  auto it = loaded_.find(file);
  return it == loaded_.end() ? std::string() : it->second.path;
}

}  // namespace rt
