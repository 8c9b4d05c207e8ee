#include "registration.h"

#include <objbase.h>
#include <olectl.h>

#include <string>

#include "mobi_automation.h"
#include "module.h"

namespace mobi::automation {
namespace {

// The universal marshaler of OLE Automation interfaces.
constexpr const wchar_t* kProxyStubClsid = L"{00020424-0000-0000-C000-000000000046}";

#ifdef _WIN64
constexpr const wchar_t* kSyskind = L"win64";
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr const wchar_t* kSyskind = L"win32";
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ClsidKey() {
  return L"CLSID\\" + GuidText(CLSID_clsSMS);
}
std::wstring InterfaceKey(const GUID& iid) {
  return L"Interface\\" + GuidText(iid);
}
std::wstring TypeLibKey() {
  return L"TypeLib\\" + GuidText(LIBID_Mobi);
}
std::wstring TypeLibVersion() {
  return std::to_wstring(kLibraryMajor) + L"." + std::to_wstring(kLibraryMinor);
}

// Sets `name` (empty: the default value) of HKCR\`key` to `data`, creating the
// key. Returns a Win32 error code.
LONG SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                      static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc;
}

LONG CreateKey(const std::wstring& key) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ, nullptr, &h, nullptr);
  if (rc == ERROR_SUCCESS) RegCloseKey(h);
  return rc;
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
  HKEY h = nullptr;
  if (OpenOtherView(key, KEY_READ, &h) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(h);
  return true;
}

// Deletes HKCR\`key` if it has no subkeys; returns whether it is gone.
bool DeleteIfNoSubkeys(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
    return true;
  }
  DWORD subkeys = 0;
  LONG rc = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || subkeys != 0) return false;
  return DeleteTree(key) == ERROR_SUCCESS;
}

// Whether HKCR\`key` may be one key for both architectures (the registry
// does not redirect it): a value written in this view shows in the other one.
// When the other view's key cannot be opened at all, the answer is not
// known, and "shared" is the safe one: the key stays.
bool SharedWithOtherView(const std::wstring& key) {
  HKEY mine = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | KEY_SET_VALUE, &mine) !=
      ERROR_SUCCESS) {
    return false;
  }
  HKEY other = nullptr;
  if (OpenOtherView(key, KEY_READ, &other) != ERROR_SUCCESS) {
    RegCloseKey(mine);
    return true;
  }
  const wchar_t* probe = L"MobiRegistryViewProbe";
  const DWORD one = 1;
  bool shared = true;
  if (RegSetValueExW(mine, probe, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) ==
      ERROR_SUCCESS) {
    shared = RegQueryValueExW(other, probe, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegDeleteValueW(mine, probe);
  }
  RegCloseKey(other);
  RegCloseKey(mine);
  return shared;
}

// Whether the type library's version key holds no locale any more: nothing
// below it but FLAGS and HELPDIR.
bool OnlyFlagsAndHelpDir(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
    return false;
  }
  bool only = true;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    if (lstrcmpiW(name, L"FLAGS") != 0 && lstrcmpiW(name, L"HELPDIR") != 0) only = false;
  }
  RegCloseKey(h);
  return only;
}

struct InterfaceEntry {
  const GUID& iid;
  const wchar_t* name;
};
const InterfaceEntry kInterfaces[] = {{IID__clsSMS, kInterfaceName}, {DIID___clsSMS, kEventsName}};

}  // namespace

HRESULT RegisterServer() {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  const std::wstring dir = path.substr(0, path.find_last_of(L"\\/"));

  // The type library must load from the DLL before anyone is pointed at it.
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) return SELFREG_E_TYPELIB;
  lib->Release();

  const std::wstring libid = GuidText(LIBID_Mobi);
  const std::wstring version = TypeLibVersion();
  LONG rc = ERROR_SUCCESS;
  auto set = [&rc](const std::wstring& key, const wchar_t* name, const std::wstring& data) {
    if (rc == ERROR_SUCCESS) rc = SetValue(key, name, data);
  };

  // The type library.
  const std::wstring tl = TypeLibKey() + L"\\" + version;
  set(tl, nullptr, kLibraryHelpString);
  set(tl + L"\\FLAGS", nullptr, L"0");
  set(tl + L"\\HELPDIR", nullptr, dir);
  set(tl + L"\\" + std::to_wstring(kLibraryLcid) + L"\\" + kSyskind, nullptr, path);
  if (rc != ERROR_SUCCESS) {
    UnregisterServer();
    return SELFREG_E_TYPELIB;
  }

  // The interfaces, marshalled by the type library.
  for (const InterfaceEntry& itf : kInterfaces) {
    const std::wstring key = InterfaceKey(itf.iid);
    set(key, nullptr, itf.name);
    set(key + L"\\ProxyStubClsid", nullptr, kProxyStubClsid);
    set(key + L"\\ProxyStubClsid32", nullptr, kProxyStubClsid);
    set(key + L"\\TypeLib", nullptr, libid);
    set(key + L"\\TypeLib", L"Version", version);
  }

  // The class and its programmatic identifier.
  const std::wstring clsid = GuidText(CLSID_clsSMS);
  const std::wstring ck = ClsidKey();
  set(ck, nullptr, kProgId);
  set(ck + L"\\InprocServer32", nullptr, path);
  set(ck + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  set(ck + L"\\ProgID", nullptr, kProgId);
  set(ck + L"\\VersionIndependentProgID", nullptr, kProgId);
  set(ck + L"\\TypeLib", nullptr, libid);
  set(ck + L"\\Version", nullptr, version);
  if (rc == ERROR_SUCCESS) rc = CreateKey(ck + L"\\Programmable");
  set(kProgId, nullptr, kProgId);
  set(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid);
  if (rc != ERROR_SUCCESS) {
    UnregisterServer();
    return SELFREG_E_CLASS;
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
  for (const InterfaceEntry& itf : kInterfaces) drop(InterfaceKey(itf.iid));

  // The type library: our architecture's path, then whatever is left empty.
  const std::wstring tl = TypeLibKey() + L"\\" + TypeLibVersion();
  const std::wstring lcid = tl + L"\\" + std::to_wstring(kLibraryLcid);
  LONG r = DeleteTree(lcid + L"\\" + kSyskind);
  if (rc == ERROR_SUCCESS) rc = r;
  if (DeleteIfNoSubkeys(lcid) && OnlyFlagsAndHelpDir(tl)) {
    DeleteTree(tl + L"\\FLAGS");
    DeleteTree(tl + L"\\HELPDIR");
    if (DeleteIfNoSubkeys(tl)) DeleteIfNoSubkeys(TypeLibKey());
  }
  return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

}  // namespace mobi::automation
