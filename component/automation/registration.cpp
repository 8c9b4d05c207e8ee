#include "automation/registration.h"

#include <objbase.h>
#include <olectl.h>

#include <string>

#include "automation/com_resources.h"
#include "automation/mobi_automation.h"
#include "automation/module.h"
#include "automation/registry_entries.h"

namespace mobi::automation {
namespace {

#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

// Sets `name` (empty: the default value) of HKCR\`key` to `data`, creating the
// key. Returns a Win32 error code.
LONG SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
  RegKey h;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, h.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExW(h.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

LONG CreateKey(const std::wstring& key) {
  RegKey h;
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ, nullptr, h.put(), nullptr);
}

// Deletes HKCR\`key` with everything below it, in this architecture's view.
// A key that is not there is no failure.
LONG DeleteTree(const std::wstring& key) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

// Whether `key` of the classes root exists in the other architecture's view.
// The view flags are honoured on HKLM\Software\Classes (where the machine's
// registrations live); on HKEY_CLASSES_ROOT, Wine ignores them.
LONG OpenOtherView(const std::wstring& key, REGSAM access, HKEY* h) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0,
                       access | kOtherView, h);
}

bool ExistsInOtherView(const std::wstring& key) {
  RegKey h;
  return OpenOtherView(key, KEY_READ, h.put()) == ERROR_SUCCESS;
}

// Deletes HKCR\`key` if it has no subkeys; returns whether it is gone.
bool DeleteIfNoSubkeys(const std::wstring& key) {
  DWORD subkeys = 0;
  LONG rc = ERROR_SUCCESS;
  {
    RegKey h;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) {
      return true;
    }
    rc = RegQueryInfoKeyW(h.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
  }  // closed before the key is deleted
  if (rc != ERROR_SUCCESS || subkeys != 0) return false;
  return DeleteTree(key) == ERROR_SUCCESS;
}

// Whether HKCR\`key` may be one key for both architectures (the registry
// does not redirect it): a value written in this view shows in the other one.
// When the other view's key cannot be opened at all, the answer is not
// known, and "shared" is the safe one: the key stays.
bool SharedWithOtherView(const std::wstring& key) {
  RegKey mine;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | KEY_SET_VALUE, mine.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegKey other;
  if (OpenOtherView(key, KEY_READ, other.put()) != ERROR_SUCCESS) return true;
  const wchar_t* probe = L"MobiRegistryViewProbe";
  const DWORD one = 1;
  bool shared = true;
  if (RegSetValueExW(mine.get(), probe, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                     sizeof one) == ERROR_SUCCESS) {
    shared =
        RegQueryValueExW(other.get(), probe, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegDeleteValueW(mine.get(), probe);
  }
  return shared;
}

// Whether the type library's version key holds no locale any more: nothing
// below it but FLAGS and HELPDIR.
bool OnlyFlagsAndHelpDir(const std::wstring& key) {
  RegKey h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) {
    return false;
  }
  bool only = true;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(h.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (lstrcmpiW(name, L"FLAGS") != 0 && lstrcmpiW(name, L"HELPDIR") != 0) only = false;
  }
  return only;
}

const GUID* const kInterfaceIids[] = {&IID__clsSMS, &DIID___clsSMS};

}  // namespace

HRESULT RegisterServer() {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  const std::wstring dir = path.substr(0, path.find_last_of(L"\\/"));

  // The type library must load from the DLL before anyone is pointed at it.
  {
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()))) return SELFREG_E_TYPELIB;
  }

  for (const RegistryEntry& e : RegistryEntries(path, dir)) {
    const LONG rc = e.keyOnly ? CreateKey(e.key) : SetValue(e.key, e.name, e.data);
    if (rc != ERROR_SUCCESS) {
      UnregisterServer();
      return e.part == RegistryEntry::Part::TypeLib ? SELFREG_E_TYPELIB : SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  LONG rc = DeleteTree(ClsidKey());
  // After our class key is gone, a class key in the other view is the other
  // architecture's registration.
  const bool otherRegistered = ExistsInOtherView(ClsidKey() + L"\\InprocServer32");
  auto drop = [&](const std::wstring& key) {
    if (otherRegistered && SharedWithOtherView(key)) return;
    LONG r = DeleteTree(key);
    if (rc == ERROR_SUCCESS) rc = r;
  };
  drop(kProgId);
  for (const GUID* iid : kInterfaceIids) drop(InterfaceKey(*iid));

  // The type library: our architecture's path, then whatever is left empty.
  const std::wstring tl = TypeLibKey() + L"\\" + TypeLibVersion();
  const std::wstring lcid = tl + L"\\" + std::to_wstring(kLibraryLcid);
  LONG r = DeleteTree(lcid + L"\\" + Syskind());
  if (rc == ERROR_SUCCESS) rc = r;
  if (DeleteIfNoSubkeys(lcid) && OnlyFlagsAndHelpDir(tl)) {
    DeleteTree(tl + L"\\FLAGS");
    DeleteTree(tl + L"\\HELPDIR");
    if (DeleteIfNoSubkeys(tl)) DeleteIfNoSubkeys(TypeLibKey());
  }
  return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

}  // namespace mobi::automation
