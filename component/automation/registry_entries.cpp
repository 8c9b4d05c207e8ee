#include "automation/registry_entries.h"

#include <objbase.h>

#include "automation/mobi_automation.h"

namespace mobi::automation {
namespace {

// The universal marshaler of OLE Automation interfaces.
constexpr const wchar_t* kProxyStubClsid = L"{00020424-0000-0000-C000-000000000046}";

struct InterfaceEntry {
  const GUID& iid;
  const wchar_t* name;
};
const InterfaceEntry kInterfaces[] = {{IID__clsSMS, kInterfaceName}, {DIID___clsSMS, kEventsName}};

}  // namespace

const wchar_t* Syskind() {
#ifdef _WIN64
  return L"win64";
#else
  return L"win32";
#endif
}

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

std::vector<RegistryEntry> RegistryEntries(const std::wstring& path, const std::wstring& folder) {
  using Part = RegistryEntry::Part;
  std::vector<RegistryEntry> out;
  auto add = [&out](Part part, bool shared, const std::wstring& key, const std::wstring& name,
                    const std::wstring& data) {
    out.push_back({part, shared, key, name, data, false});
  };
  const std::wstring libid = GuidText(LIBID_Mobi);
  const std::wstring version = TypeLibVersion();

  // The type library: the version key is one for both architectures, each
  // architecture adds its own platform subkey.
  const std::wstring tl = TypeLibKey() + L"\\" + version;
  add(Part::TypeLib, true, tl, L"", kLibraryHelpString);
  add(Part::TypeLib, true, tl + L"\\FLAGS", L"", L"0");
  add(Part::TypeLib, false, tl + L"\\HELPDIR", L"", folder);
  add(Part::TypeLib, false, tl + L"\\" + std::to_wstring(kLibraryLcid) + L"\\" + Syskind(), L"",
      path);

  // The interfaces, marshalled by the type library.
  for (const InterfaceEntry& itf : kInterfaces) {
    const std::wstring key = InterfaceKey(itf.iid);
    add(Part::Class, false, key, L"", itf.name);
    add(Part::Class, false, key + L"\\ProxyStubClsid", L"", kProxyStubClsid);
    add(Part::Class, false, key + L"\\ProxyStubClsid32", L"", kProxyStubClsid);
    add(Part::Class, false, key + L"\\TypeLib", L"", libid);
    add(Part::Class, false, key + L"\\TypeLib", L"Version", version);
  }

  // The class and its programmatic identifier (one key for both
  // architectures).
  const std::wstring ck = ClsidKey();
  add(Part::Class, false, ck, L"", kProgId);
  add(Part::Class, false, ck + L"\\InprocServer32", L"", path);
  add(Part::Class, false, ck + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  add(Part::Class, false, ck + L"\\ProgID", L"", kProgId);
  add(Part::Class, false, ck + L"\\VersionIndependentProgID", L"", kProgId);
  add(Part::Class, false, ck + L"\\TypeLib", L"", libid);
  add(Part::Class, false, ck + L"\\Version", L"", version);
  out.push_back({Part::Class, false, ck + L"\\Programmable", L"", L"", true});
  add(Part::Class, true, kProgId, L"", kProgId);
  add(Part::Class, true, std::wstring(kProgId) + L"\\CLSID", L"", GuidText(CLSID_clsSMS));
  return out;
}

}  // namespace mobi::automation
