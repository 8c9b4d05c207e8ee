// What registering Mobi.dll writes under HKEY_CLASSES_ROOT, as data: the
// DLL's self-registration writes these entries, and the Windows installer's
// registry table is generated from the same list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace mobi::automation {

// The registry view of this build's architecture: "win64" or "win32", the
// type library's platform subkey.
const wchar_t* Syskind();

struct RegistryEntry {
  enum class Part { TypeLib, Class };
  Part part;          // which registration step the entry belongs to
  bool shared;        // the registry keeps one key for both architectures
  std::wstring key;   // below HKEY_CLASSES_ROOT
  std::wstring name;  // empty: the key's default value
  std::wstring data;
  bool keyOnly;  // the key alone, without a value
};

// The entries in the order they are written, for the DLL at `path` in the
// folder `folder`.
std::vector<RegistryEntry> RegistryEntries(const std::wstring& path, const std::wstring& folder);

// Keys, for unregistering.
std::wstring GuidText(const GUID& guid);
std::wstring ClsidKey();
std::wstring InterfaceKey(const GUID& iid);
std::wstring TypeLibKey();
std::wstring TypeLibVersion();

}  // namespace mobi::automation
