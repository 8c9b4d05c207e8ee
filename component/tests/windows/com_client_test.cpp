// A C++ automation client of the registered Mobi.dll, run under Wine.
//
//   Registered.*   the registry entries, the registered type library read
//                  back, the library's exports, errors, class information
//                  and connection points; no terminal needed.
//   Terminal.*     early-bound calls and SMSError events against the scripted
//                  terminal of terminal_session.peer on COM port
//                  MOBI_TEST_PORT.
//   Unregistered.* what unregistration leaves behind.
//
// MOBI_TEST_DLL is the DLL's Windows path.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace mobi::test {
namespace {

using namespace mobi::automation;

#ifdef _WIN64
constexpr const wchar_t* kSyskind = L"win64";
constexpr SYSKIND kSys = SYS_WIN64;
#else
constexpr const wchar_t* kSyskind = L"win32";
constexpr SYSKIND kSys = SYS_WIN32;
#endif

// Every test runs in a single-threaded apartment of its own.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

class Registered : public ComTest {};
class CodePage936 : public ComTest {};
class Unregistered : public ComTest {};

// The value `name` (nullptr: default) of HKCR\`key`, or nothing.
bool ReadValue(const std::wstring& key, const wchar_t* name, std::wstring* out) {
  RegKey h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
  const LONG rc =
      RegQueryValueExW(h.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  *out = buffer;
  return true;
}

std::wstring Value(const std::wstring& key, const wchar_t* name = nullptr) {
  std::wstring v;
  EXPECT_TRUE(ReadValue(key, name, &v)) << "HKCR\\" << std::string(key.begin(), key.end());
  return v;
}

bool KeyExists(const std::wstring& key) {
  RegKey h;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) == ERROR_SUCCESS;
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = c == L'/' ? L'\\' : towlower(c);
  return s;
}

// Creates Mobi.clsSMS by its programmatic identifier.
HRESULT CreateByProgId(REFIID iid, void** ppv) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Mobi.clsSMS", &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, ppv);
}

std::string Narrow(const std::wstring& w) {
  return std::string(w.begin(), w.end());
}

// ---- Registration ------------------------------------------------------------

TEST_F(Registered, KeysNameTheClassTheDllAndTheTypeLibrary) {
  const std::wstring clsid = L"{E235FA25-67D9-417F-B48A-B47F66D450AC}";
  const std::wstring libid = L"{B8A358C2-521A-40E4-A422-792B094C78E0}";
  EXPECT_EQ(Value(L"Mobi.clsSMS\\CLSID"), clsid);
  const std::wstring ck = L"CLSID\\" + clsid;
  EXPECT_EQ(Lower(Value(ck + L"\\InprocServer32")), Lower(DllPath()));
  EXPECT_EQ(Value(ck + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(Value(ck + L"\\ProgID"), L"Mobi.clsSMS");
  EXPECT_EQ(Value(ck + L"\\TypeLib"), libid);
  for (const wchar_t* iid :
       {L"{0D08FCD4-DC32-438D-89F2-A4A7927973FB}", L"{49ED6FE2-691F-4E73-BB3D-52B4AF99EC83}"}) {
    const std::wstring ik = std::wstring(L"Interface\\") + iid;
    EXPECT_EQ(Value(ik + L"\\ProxyStubClsid32"), L"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(Value(ik + L"\\TypeLib"), libid);
    EXPECT_EQ(Value(ik + L"\\TypeLib", L"Version"), L"2.0");
  }
  EXPECT_EQ(Value(L"Interface\\{0D08FCD4-DC32-438D-89F2-A4A7927973FB}"), L"_clsSMS");
  EXPECT_EQ(Value(L"Interface\\{49ED6FE2-691F-4E73-BB3D-52B4AF99EC83}"), L"__clsSMS");
  EXPECT_EQ(Value(L"TypeLib\\" + libid + L"\\2.0"), L"Tarvos Mobi ActiveX DLL 1.0");
  EXPECT_EQ(Lower(Value(L"TypeLib\\" + libid + L"\\2.0\\0\\" + kSyskind)), Lower(DllPath()));
}

// ---- The type library, read back from the registration ------------------------

struct ExpectedParam {
  const wchar_t* name;
  VARTYPE vt;  // VT_USERDEFINED: enuStatus_Type
  bool retval;
};
struct ExpectedMethod {
  const wchar_t* name;
  MEMBERID id;
  std::vector<ExpectedParam> params;
};

const std::vector<ExpectedMethod>& ExpectedMethods() {
  static const std::vector<ExpectedMethod> methods = {
      {L"Initialize",
       0x6003000A,
       {{L"ComPort", VT_I2, false}, {L"Settings", VT_BSTR, false}, {nullptr, VT_BSTR, true}}},
      {L"MobiCheck", 0x6003000B, {{nullptr, VT_BSTR, true}}},
      {L"SetMobiCode", 0x6003000C, {{L"CenterCode", VT_BSTR, false}, {nullptr, VT_BOOL, true}}},
      {L"MobiReset", 0x6003000D, {}},
      {L"SendSMS",
       0x6003000E,
       {{L"Tel", VT_BSTR, false}, {L"Data", VT_BSTR, false}, {nullptr, VT_USERDEFINED, true}}},
      {L"MobiSignal", 0x6003000F, {{nullptr, VT_I2, true}}},
      {L"ATSend", 0x60030010, {{L"ATCMD", VT_BSTR, false}}},
  };
  return methods;
}

std::wstring TypeName(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  Bstr name;
  info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);
  return name.str();
}

TEST_F(Registered, TypeLibraryHoldsExactlyTheInterfaceInItsOrder) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Mobi, 2, 0, 0, lib.put()), S_OK);
  TLIBATTR* la = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
  EXPECT_EQ(la->wMajorVerNum, 2);
  EXPECT_EQ(la->wMinorVerNum, 0);
  EXPECT_EQ(la->lcid, 0u);
  EXPECT_EQ(la->syskind, kSys);
  lib->ReleaseTLibAttr(la);
  Bstr name, doc;
  ASSERT_EQ(lib->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.str(), L"Mobi");
  EXPECT_EQ(doc.str(), L"Tarvos Mobi ActiveX DLL 1.0");

  // Four types, in this order, with these kinds, versions and flags.
  ASSERT_EQ(lib->GetTypeInfoCount(), 4u);
  struct Expected {
    const wchar_t* name;
    TYPEKIND kind;
    WORD major, minor;
    WORD flagsSet, flagsClear;
  } expected[] = {
      {L"_clsSMS", TKIND_DISPATCH, 1, 1,
       TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE,
       TYPEFLAG_FCANCREATE},
      {L"clsSMS", TKIND_COCLASS, 1, 1, TYPEFLAG_FCANCREATE,
       TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE},
      {L"__clsSMS", TKIND_DISPATCH, 1, 1, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE,
       TYPEFLAG_FDUAL | TYPEFLAG_FCANCREATE},
      {L"enuStatus_Type", TKIND_ENUM, 1, 0, 0, TYPEFLAG_FHIDDEN},
  };
  const GUID* guids[] = {&IID__clsSMS, &CLSID_clsSMS, &DIID___clsSMS, nullptr};
  for (UINT i = 0; i < 4; ++i) {
    SCOPED_TRACE(Narrow(expected[i].name));
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfo(i, info.put()), S_OK);
    EXPECT_EQ(TypeName(info.get()), expected[i].name);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->typekind, expected[i].kind);
    EXPECT_EQ(ta->wMajorVerNum, expected[i].major);
    EXPECT_EQ(ta->wMinorVerNum, expected[i].minor);
    EXPECT_EQ(ta->wTypeFlags & expected[i].flagsSet, expected[i].flagsSet);
    EXPECT_EQ(ta->wTypeFlags & expected[i].flagsClear, 0);
    if (guids[i]) {
      EXPECT_TRUE(IsEqualGUID(ta->guid, *guids[i]));
    }
    info->ReleaseTypeAttr(ta);
  }

  // The class: _clsSMS the default interface, __clsSMS the default source.
  ComPtr<ITypeInfo> cls;
  ASSERT_EQ(lib->GetTypeInfo(1, cls.put()), S_OK);
  int flags0 = 0, flags1 = 0;
  ASSERT_EQ(cls->GetImplTypeFlags(0, &flags0), S_OK);
  ASSERT_EQ(cls->GetImplTypeFlags(1, &flags1), S_OK);
  EXPECT_EQ(flags0, IMPLTYPEFLAG_FDEFAULT);
  EXPECT_EQ(flags1, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  const wchar_t* implNames[] = {L"_clsSMS", L"__clsSMS"};
  for (UINT i = 0; i < 2; ++i) {
    HREFTYPE href = 0;
    ComPtr<ITypeInfo> impl;
    ASSERT_EQ(cls->GetRefTypeOfImplType(i, &href), S_OK);
    ASSERT_EQ(cls->GetRefTypeInfo(href, impl.put()), S_OK);
    EXPECT_EQ(TypeName(impl.get()), implNames[i]);
  }
}

TEST_F(Registered, DualInterfaceHasTheSevenMethodsInVirtualTableOrder) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Mobi, 2, 0, 0, lib.put()), S_OK);
  ComPtr<ITypeInfo> dispatch, vtable;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__clsSMS, dispatch.put()), S_OK);
  HREFTYPE href = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), S_OK);
  ASSERT_EQ(dispatch->GetRefTypeInfo(href, vtable.put()), S_OK);
  TYPEATTR* ta = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta->typekind, TKIND_INTERFACE);
  EXPECT_EQ(ta->cFuncs, 7);
  // Its base is IDispatch from the imported standard OLE Automation library.
  {
    HREFTYPE base = 0;
    ComPtr<ITypeInfo> dispatchBase;
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &base), S_OK);
    ASSERT_EQ(vtable->GetRefTypeInfo(base, dispatchBase.put()), S_OK);
    EXPECT_EQ(TypeName(dispatchBase.get()), L"IDispatch");
    ComPtr<ITypeLib> stdole;
    UINT index = 0;
    ASSERT_EQ(dispatchBase->GetContainingTypeLib(stdole.put(), &index), S_OK);
    TLIBATTR* sa = nullptr;
    ASSERT_EQ(stdole->GetLibAttr(&sa), S_OK);
    EXPECT_TRUE(IsEqualGUID(sa->guid, IID_StdOle));
    EXPECT_EQ(sa->wMajorVerNum, 2);
    stdole->ReleaseTLibAttr(sa);
  }
  const WORD vtableFlags =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
  EXPECT_EQ(ta->wTypeFlags & vtableFlags, vtableFlags);
  EXPECT_EQ(ta->wMajorVerNum, 1);
  EXPECT_EQ(ta->wMinorVerNum, 1);
  vtable->ReleaseTypeAttr(ta);

  const auto& methods = ExpectedMethods();
  for (UINT i = 0; i < methods.size(); ++i) {
    const ExpectedMethod& m = methods[i];
    SCOPED_TRACE(Narrow(m.name));
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(i, &fd), S_OK);
    EXPECT_EQ(fd->memid, m.id);
    EXPECT_EQ(fd->invkind, INVOKE_FUNC);
    EXPECT_EQ(fd->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(fd->cParamsOpt, 0);
    // IDispatch's seven methods come first.
    EXPECT_EQ(fd->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    ASSERT_EQ(fd->cParams, static_cast<SHORT>(m.params.size()));
    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(vtable->GetNames(fd->memid, names, 4, &count), S_OK);
    EXPECT_EQ(std::wstring(names[0]), m.name);
    for (size_t p = 0; p < m.params.size(); ++p) {
      const ExpectedParam& e = m.params[p];
      const ELEMDESC& ed = fd->lprgelemdescParam[p];
      TYPEDESC td = ed.tdesc;
      if (e.retval) {
        EXPECT_EQ(ed.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
        ASSERT_EQ(td.vt, VT_PTR);
        td = *td.lptdesc;
      } else {
        EXPECT_EQ(ed.paramdesc.wParamFlags, PARAMFLAG_FIN);
        EXPECT_EQ(std::wstring(p + 1 < count ? names[p + 1] : L""), e.name);
      }
      EXPECT_EQ(td.vt, e.vt);
      if (e.vt == VT_USERDEFINED) {
        ComPtr<ITypeInfo> ref;
        ASSERT_EQ(vtable->GetRefTypeInfo(td.hreftype, ref.put()), S_OK);
        EXPECT_EQ(TypeName(ref.get()), L"enuStatus_Type");
      }
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    // No help strings.
    Bstr doc;
    vtable->GetDocumentation(fd->memid, nullptr, doc.put(), nullptr, nullptr);
    EXPECT_EQ(doc.str(), L"");
    vtable->ReleaseFuncDesc(fd);
  }
}

TEST_F(Registered, EventInterfaceAndEnumerationReadBackExactly) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_Mobi, 2, 0, 0, lib.put()), S_OK);
  ComPtr<ITypeInfo> events;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID___clsSMS, events.put()), S_OK);
  MEMBERID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"SMSError");
  ASSERT_EQ(events->GetIDsOfNames(&name, 1, &id), S_OK);
  EXPECT_EQ(id, 1);
  TYPEATTR* ta = nullptr;
  ASSERT_EQ(events->GetTypeAttr(&ta), S_OK);
  const WORD funcs = ta->cFuncs;
  events->ReleaseTypeAttr(ta);
  bool found = false;
  for (WORD i = 0; i < funcs; ++i) {
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(events->GetFuncDesc(i, &fd), S_OK);
    if (fd->memid == 1) {
      found = true;
      EXPECT_EQ(fd->funckind, FUNC_DISPATCH);
      ASSERT_EQ(fd->cParams, 1);
      EXPECT_EQ(fd->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
      EXPECT_EQ(fd->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
      EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_VOID);
      BSTR names[2] = {};
      UINT count = 0;
      ASSERT_EQ(events->GetNames(1, names, 2, &count), S_OK);
      ASSERT_EQ(count, 2u);
      EXPECT_EQ(std::wstring(names[0]), L"SMSError");
      EXPECT_EQ(std::wstring(names[1]), L"ErrorMessage");
      SysFreeString(names[0]);
      SysFreeString(names[1]);
    }
    events->ReleaseFuncDesc(fd);
  }
  EXPECT_TRUE(found);

  ComPtr<ITypeInfo> status;
  ASSERT_EQ(lib->GetTypeInfo(3, status.put()), S_OK);
  const std::pair<const wchar_t*, LONG> members[] = {
      {L"typeNoSend", 1},    {L"typeSendOk", 2}, {L"typeCenterOK", 3},
      {L"TypeCustError", 4}, {L"typeCustOK", 5}, {L"typeError", 6},
  };
  ASSERT_EQ(status->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta->cVars, 6);
  status->ReleaseTypeAttr(ta);
  for (UINT i = 0; i < 6; ++i) {
    VARDESC* vd = nullptr;
    ASSERT_EQ(status->GetVarDesc(i, &vd), S_OK);
    EXPECT_EQ(vd->varkind, VAR_CONST);
    EXPECT_EQ(TypeName(status.get(), vd->memid), members[i].first);
    EXPECT_EQ(V_VT(vd->lpvarValue), VT_I4);
    EXPECT_EQ(V_I4(vd->lpvarValue), members[i].second);
    status->ReleaseVarDesc(vd);
  }
}

// ---- The library's exports -------------------------------------------------------

TEST_F(Registered, ExportsServeOnlyTheClassAndCountObjectsAndLocks) {
  HMODULE dll = LoadLibraryW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  auto canUnload = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_TRUE(getClassObject && canUnload);
  EXPECT_TRUE(GetProcAddress(dll, "DllRegisterServer"));
  EXPECT_TRUE(GetProcAddress(dll, "DllUnregisterServer"));

  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, factory.put_void()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(canUnload(), S_OK);
  ASSERT_EQ(getClassObject(CLSID_clsSMS, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE) << "a factory reference keeps the library";

  ComPtr<IUnknown> aggregated;
  Sink outer(false);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, aggregated.put_void()),
            CLASS_E_NOAGGREGATION);
  ComPtr<IUnknown> nothing;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, nothing.put_void()), E_NOINTERFACE);

  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  ComPtr<_clsSMS> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID__clsSMS, object.put_void()), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  object.Reset();
  EXPECT_EQ(canUnload(), S_FALSE) << "the lock still holds";
  ComPtr<IClassFactory> again;
  ASSERT_EQ(getClassObject(CLSID_clsSMS, IID_IClassFactory, again.put_void()), S_OK);
  ASSERT_EQ(again->LockServer(FALSE), S_OK);
  again.Reset();
  EXPECT_EQ(canUnload(), S_OK);
  FreeLibrary(dll);
}

// ---- Resources --------------------------------------------------------------------

TEST_F(Registered, ResourcesHoldTheIdentifiersAndTheVersionBlock) {
  HMODULE dll = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(dll, nullptr);
  const std::pair<const wchar_t*, const GUID*> ids[] = {{L"_IID_CLSSMS", &IID__clsSMS},
                                                        {L"_SRCIID_CLSSMS", &DIID___clsSMS}};
  for (const auto& [name, guid] : ids) {
    SCOPED_TRACE(Narrow(name));
    HRSRC res = FindResourceW(dll, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    ASSERT_NE(res, nullptr);
    ASSERT_EQ(SizeofResource(dll, res), 20u);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(dll, res)));
    ASSERT_NE(bytes, nullptr);
    const unsigned char length[4] = {16, 0, 0, 0};
    EXPECT_EQ(memcmp(bytes, length, 4), 0);
    EXPECT_EQ(memcmp(bytes + 4, guid, 16), 0);
  }
  HRSRC tlb = FindResourceW(dll, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(tlb, nullptr);
  const auto* msft = static_cast<const char*>(LockResource(LoadResource(dll, tlb)));
  EXPECT_EQ(std::string(msft, 4), "MSFT");
  FreeLibrary(dll);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 1200);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileVersion", L"1.00"},  {L"ProductVersion", L"1.00"},       {L"ProductName", L"Mobi"},
      {L"InternalName", L"Mobi"}, {L"OriginalFilename", L"Mobi.dll"}, {L"OLESelfRegister", L""},
  };
  for (const auto& [name, value] : strings) {
    SCOPED_TRACE(Narrow(name));
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
    wchar_t* text = nullptr;
    length = 0;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text ? text : L""), value);
  }
}

// ---- Objects, errors, class information ----------------------------------------------

TEST_F(Registered, FailuresCarryTheirNumberAndDescriptionEarlyAndLateBound) {
  ComPtr<_clsSMS> sms;
  ASSERT_EQ(CreateByProgId(IID__clsSMS, sms.put_void()), S_OK);
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(sms->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__clsSMS), S_OK);

  // Initialize ignores a port that does not exist and returns "".
  Bstr result;
  Bstr settings(L"9600,n,8,1");
  EXPECT_EQ(sms->Initialize(42, settings.get(), result.put()), S_OK);
  ASSERT_NE(result.get(), nullptr);
  EXPECT_EQ(result.str(), L"");

  // Early-bound: the HRESULT and the error information.
  Bstr empty(L""), text(L"x");
  ::mobi::enuStatus_Type status{};
  EXPECT_EQ(sms->SendSMS(empty.get(), text.get(), &status), VbError(9));
  EXPECT_NE(LastErrorDescription().find(L"Subscript out of range"), std::wstring::npos)
      << Narrow(LastErrorDescription());
  EXPECT_EQ(sms->MobiCheck(result.put()), VbError(8018)) << "the port never opened";
  EXPECT_NE(LastErrorDescription().find(L"port is open"), std::wstring::npos);

  // Late-bound, by name: DISP_E_EXCEPTION with the same number and text.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(sms->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"SendSMS");
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 0x6003000E);
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  V_VT(&args[0]) = VT_BSTR;  // Data (arguments go in reverse order)
  V_BSTR(&args[0]) = SysAllocString(L"abc");
  V_VT(&args[1]) = VT_BSTR;  // Tel
  V_BSTR(&args[1]) = SysAllocString(L"");
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT out;
  VariantInit(&out);
  EXCEPINFO excep{};
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &out,
                             &excep, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, VbError(9));
  ASSERT_NE(excep.bstrDescription, nullptr);
  EXPECT_NE(std::wstring(excep.bstrDescription).find(L"Subscript out of range"),
            std::wstring::npos);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  VariantClear(&args[0]);
  VariantClear(&args[1]);

  // An unknown name is an unknown name.
  LPOLESTR bogus = const_cast<LPOLESTR>(L"NoSuchMethod");
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &bogus, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNNAME);
}

TEST_F(CodePage936, ADoubleByteCharacterInANumberIsAnOverflow) {
  ASSERT_EQ(GetACP(), 936u) << "run this test with LC_ALL=zh_CN.UTF-8";
  ComPtr<_clsSMS> sms;
  ASSERT_EQ(CreateByProgId(IID__clsSMS, sms.put_void()), S_OK);
  Bstr number(L"138\x4E2D"), text(L"x");
  ::mobi::enuStatus_Type status{};
  EXPECT_EQ(sms->SendSMS(number.get(), text.get(), &status), VbError(6));
  EXPECT_NE(LastErrorDescription().find(L"Overflow"), std::wstring::npos);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(sms->SetMobiCode(number.get(), &ok), VbError(6));
}

TEST_F(Registered, ACallFromAnotherThreadFailsInsteadOfRacing) {
  ComPtr<_clsSMS> sms;
  ASSERT_EQ(CreateByProgId(IID__clsSMS, sms.put_void()), S_OK);
  HRESULT hr = S_OK;
  _clsSMS* raw = sms.get();
  std::thread other([&] { hr = raw->MobiReset(); });
  other.join();
  EXPECT_EQ(hr, RPC_E_WRONG_THREAD);
}

TEST_F(Registered, ClassInformationNamesTheClassAndItsSourceInterface) {
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(CreateByProgId(IID_IProvideClassInfo2, info.put_void()), S_OK);
  GUID source{};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_TRUE(IsEqualGUID(source, DIID___clsSMS));
  ComPtr<ITypeInfo> cls;
  ASSERT_EQ(info->GetClassInfo(cls.put()), S_OK);
  EXPECT_EQ(TypeName(cls.get()), L"clsSMS");
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(info->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  ComPtr<ITypeInfo> itf;
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, itf.put()), S_OK);
  EXPECT_EQ(TypeName(itf.get()), L"_clsSMS");
}

// COM's identity rules: each interface of the object reaches every other
// one, IUnknown is the same pointer whichever interface it is asked from, and
// an interface the object does not have comes back as a null pointer.
TEST_F(Registered, EveryInterfaceReachesEveryOtherWithOneIdentity) {
  const std::pair<const char*, const IID*> iids[] = {
      {"IUnknown", &IID_IUnknown},
      {"IDispatch", &IID_IDispatch},
      {"_clsSMS", &IID__clsSMS},
      {"ISupportErrorInfo", &IID_ISupportErrorInfo},
      {"IProvideClassInfo", &IID_IProvideClassInfo},
      {"IProvideClassInfo2", &IID_IProvideClassInfo2},
      {"IConnectionPointContainer", &IID_IConnectionPointContainer},
  };
  ComPtr<IUnknown> identity;
  ASSERT_EQ(CreateByProgId(IID_IUnknown, identity.put_void()), S_OK);
  for (const auto& [name, from] : iids) {
    SCOPED_TRACE(name);
    ComPtr<IUnknown> start;
    ASSERT_EQ(identity->QueryInterface(*from, start.put_void()), S_OK);
    for (const auto& [otherName, to] : iids) {
      ComPtr<IUnknown> other;
      EXPECT_EQ(start->QueryInterface(*to, other.put_void()), S_OK) << otherName;
    }
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(start->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(unknown.get(), identity.get());
    void* none = &identity;
    EXPECT_EQ(start->QueryInterface(IID_IStream, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }
}

// The container lists its one connection point; a clone of the list goes on
// from where the original stands.
TEST_F(Registered, ConnectionPointListHoldsTheOnePointAndClones) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(CreateByProgId(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  ComPtr<IEnumConnectionPoints> same;
  EXPECT_EQ(points->QueryInterface(IID_IEnumConnectionPoints, same.put_void()), S_OK);
  ComPtr<IEnumConnectionPoints> before;
  ASSERT_EQ(points->Clone(before.put()), S_OK);
  ComPtr<IConnectionPoint> point;
  ULONG fetched = 0;
  ASSERT_EQ(points->Next(1, point.put(), &fetched), S_OK);
  ASSERT_EQ(fetched, 1u);
  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID___clsSMS));
  ComPtr<IEnumConnectionPoints> after;
  ASSERT_EQ(points->Clone(after.put()), S_OK);
  ComPtr<IConnectionPoint> next;
  EXPECT_EQ(after->Next(1, next.put(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  ASSERT_EQ(before->Next(1, next.put(), &fetched), S_OK);
  EXPECT_EQ(next.get(), point.get());
}

TEST_F(Registered, ConnectionPointTakesSeveralSinksAndLetsThemGo) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(CreateByProgId(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.put()), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(DIID___clsSMS, point.put()), S_OK);
  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID___clsSMS));

  Sink typed(true), plain(false);
  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(point->Advise(&typed, &c1), S_OK);
  ASSERT_EQ(point->Advise(&plain, &c2), S_OK);
  EXPECT_NE(c1, c2);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  connections.Reset();

  EXPECT_EQ(point->Unadvise(c1), S_OK);
  EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(typed.refs(), 0u) << "the object keeps no reference to a disconnected sink";
  EXPECT_GT(plain.refs(), 0u);
  point.Reset();
  container.Reset();  // the object goes, and lets go of the plain sink
  EXPECT_EQ(plain.refs(), 0u);
}

// ---- Against the scripted terminal (terminal_session.peer) --------------------------

class Terminal : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_GT(TerminalPort(), 0) << "MOBI_TEST_PORT names the scripted terminal's port";
    ASSERT_EQ(CreateByProgId(IID__clsSMS, sms.put_void()), S_OK);
    // A slow line: its quiet gap (three character times, 100 ms) leaves the
    // scripted terminal's byte-by-byte pacing (8 ms) a wide margin, also on
    // a loaded machine.
    Bstr settings(Settings()), result;
    ASSERT_EQ(sms->Initialize(TerminalPort(), settings.get(), result.put()), S_OK);
  }
  void TearDown() override {
    sms.Reset();
    ComTest::TearDown();
  }
  virtual const wchar_t* Settings() const { return L"300,n,8,1"; }
  ComPtr<_clsSMS> sms;
};

// One session, in the order of the peer's script: every method early-bound,
// the bytes on the wire checked by the peer, SMSError delivered to several
// sinks before MobiCheck returns, and a sink that disconnects another during
// the event.
TEST_F(Terminal, EveryMethodEarlyBoundAndSMSErrorThroughTheConnectionPoint) {
  // MobiCheck: the terminal answers its check text (type 9).
  Bstr text;
  ASSERT_EQ(sms->MobiCheck(text.put()), S_OK);
  EXPECT_EQ(text.str(), L"MOBI READY");

  // SetMobiCode: accepted (-1), then refused with "ERROR" (0).
  Bstr centre(L"8613800290500");
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(sms->SetMobiCode(centre.get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(static_cast<short>(ok), -1);
  ASSERT_EQ(sms->SetMobiCode(centre.get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);

  // MobiSignal: level byte 23.
  short level = 0;
  ASSERT_EQ(sms->MobiSignal(&level), S_OK);
  EXPECT_EQ(level, 23);

  // SendSMS: "OK", "SEND OK", then "SUCCESS" for the number, paced at line
  // rate byte by byte: it arrives whole, so the send ends with 5 (in pieces,
  // no piece would match and the send would end with 3 after 5 s).
  Bstr tel(L"12345"), data(L"abc");
  ::mobi::enuStatus_Type status{};
  ASSERT_EQ(sms->SendSMS(tel.get(), data.get(), &status), S_OK);
  EXPECT_EQ(status, ::mobi::typeCustOK);

  // MobiReset and ATSend do not wait; the peer checks their bytes.
  ASSERT_EQ(sms->MobiReset(), S_OK);
  Bstr at(L"AT+CSQ\r");
  ASSERT_EQ(sms->ATSend(at.get()), S_OK);

  // SMSError: three sinks; the first disconnects the third during the event.
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(sms->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID___clsSMS, point.put()), S_OK);
  Sink first(true), second(false), third(true);
  DWORD c1 = 0, c2 = 0, c3 = 0;
  ASSERT_EQ(point->Advise(&first, &c1), S_OK);
  ASSERT_EQ(point->Advise(&second, &c2), S_OK);
  ASSERT_EQ(point->Advise(&third, &c3), S_OK);
  first.onEvent = [&] { point->Unadvise(c3); };
  ASSERT_EQ(sms->MobiCheck(text.put()), S_OK);
  // The event came before MobiCheck returned, with the reply text.
  ASSERT_EQ(first.received.size(), 1u);
  EXPECT_EQ(first.received[0], L"NO SIM");
  ASSERT_EQ(second.received.size(), 1u);
  EXPECT_EQ(second.received[0], L"NO SIM");
  EXPECT_TRUE(third.received.empty()) << "disconnected before its turn";
  EXPECT_EQ(third.refs(), 0u);
  EXPECT_EQ(text.str(), L"NO SIM");
  EXPECT_EQ(first.bad + second.bad + third.bad, 0);
  point->Unadvise(c1);
  point->Unadvise(c2);
}

// The client's own message loop hands the terminal's replies to the
// component between calls (client_loop.peer): an error text that follows a
// raw command raises SMSError while the client only pumps messages.
class ClientLoop : public Terminal {};

TEST_F(ClientLoop, RepliesBetweenCallsArriveWhileTheClientProcessesMessages) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(sms->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID___clsSMS, point.put()), S_OK);
  Sink sink(true);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  Bstr at(L"AT\r");
  ASSERT_EQ(sms->ATSend(at.get()), S_OK);  // returns at once; the answer comes later
  EXPECT_TRUE(sink.received.empty()) << "nothing runs before messages are processed";
  // A plain message loop, bounded: the event arrives from inside it.
  const DWORD start = GetTickCount();
  while (sink.received.empty() && GetTickCount() - start < 10000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  ASSERT_EQ(sink.received.size(), 1u);
  EXPECT_EQ(sink.received[0], L"RING");
  point->Unadvise(cookie);
}

// A late-bound client that lets go of the object from its SMSError handler,
// in the middle of the MobiCheck that raised it (release_in_event.peer): the
// call still ends normally with the reply text, and the object goes after it.
class ReleaseInEvent : public ComTest {};

TEST_F(ReleaseInEvent, TheObjectOutlivesACallDuringWhichItsLastReferenceGoes) {
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(CreateByProgId(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  ComPtr<_clsSMS> early;
  ASSERT_EQ(dispatch->QueryInterface(IID__clsSMS, early.put_void()), S_OK);
  Bstr settings(L"1200,n,8,1"), ignored;
  ASSERT_EQ(early->Initialize(TerminalPort(), settings.get(), ignored.put()), S_OK);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(dispatch->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID___clsSMS, point.put()), S_OK);
  Sink sink(true);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  // From here on the client's only reference is `dispatch`.
  point.Reset();
  container.Reset();
  early.Reset();
  bool released = false;
  sink.onEvent = [&] {
    dispatch->Release();
    released = true;
  };
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  ASSERT_EQ(dispatch->Invoke(kDispid_MobiCheck, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             &none, &result, &excep, nullptr),
            S_OK);
  EXPECT_TRUE(released);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&result)), L"BYE");
  VariantClear(&result);
  EXPECT_EQ(sink.refs(), 0u) << "the object is gone and let go of its sink";
}

// The terminal hangs up during a wait (hangup.peer): the waiting call ends
// with the serial layer's error instead of waiting on or hanging, and the
// port is closed afterwards.
class HangUp : public Terminal {};

TEST_F(HangUp, AHangUpDuringAWaitEndsTheCallWithTheSerialError) {
  Bstr text;
  const HRESULT hr = sms->MobiCheck(text.put());
  EXPECT_EQ(hr, VbError(8020)) << std::hex << hr;
  EXPECT_NE(LastErrorDescription().find(L"hung up"), std::wstring::npos)
      << Narrow(LastErrorDescription());
  EXPECT_EQ(sms->MobiReset(), VbError(8018));
}

// A line like a USB adapter's (line.peer): replies forwarded in two bursts
// 16 ms apart arrive whole, and a hang-up while no call waits fails the next
// call at once with the hang-up, later ones with "port not open".
class Line : public Terminal {
 protected:
  const wchar_t* Settings() const override { return L"9600,n,8,1"; }
};

TEST_F(Line, BurstsArriveWholeAndAHangUpBetweenCallsFailsTheNextOne) {
  short level = 0;
  ASSERT_EQ(sms->MobiSignal(&level), S_OK);
  EXPECT_EQ(level, 23);
  Bstr tel(L"12345"), data(L"x");
  ::mobi::enuStatus_Type status{};
  ASSERT_EQ(sms->SendSMS(tel.get(), data.get(), &status), S_OK);
  EXPECT_EQ(status, ::mobi::typeCustOK);
  ASSERT_EQ(sms->MobiReset(), S_OK);
  Sleep(500);  // the terminal hangs up meanwhile; nothing processes messages
  const DWORD start = GetTickCount();
  EXPECT_EQ(sms->MobiSignal(&level), VbError(8020));
  EXPECT_LT(GetTickCount() - start, 500u) << "at once, not after the wait";
  EXPECT_NE(LastErrorDescription().find(L"hung up"), std::wstring::npos)
      << Narrow(LastErrorDescription());
  EXPECT_EQ(sms->MobiReset(), VbError(8018));
}

// End to end with the terminal simulator (mobi-terminal --error-text "LOW
// BALANCE"): the error text that comes during a send reaches the sink before
// SendSMS returns, and the send still ends on its delivery report.
class Simulator : public Terminal {
 protected:
  // The simulator's replies come 20 ms apart: a fast line's 5 ms gap keeps
  // them apart.
  const wchar_t* Settings() const override { return L"9600,n,8,1"; }
};

TEST_F(Simulator, AnErrorTextDuringASendReachesTheSinkBeforeTheSendEnds) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(sms->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID___clsSMS, point.put()), S_OK);
  Sink sink(false);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  Bstr tel(L"13800138000"), data(L"Hi");
  ::mobi::enuStatus_Type status{};
  ASSERT_EQ(sms->SendSMS(tel.get(), data.get(), &status), S_OK);
  EXPECT_EQ(status, ::mobi::typeCustOK);
  ASSERT_EQ(sink.received.size(), 1u);
  EXPECT_EQ(sink.received[0], L"LOW BALANCE");
  point->Unadvise(cookie);
}

// ---- After unregistration ---------------------------------------------------------

// MOBI_TEST_OTHER_REGISTERED=1: the other architecture's DLL is still
// registered, so the entries the registry shares between the 32-bit and 64-bit
// views stay; this architecture's own entries must be gone all the same.
TEST_F(Unregistered, LeavesNothingOfThisArchitecture) {
  const bool otherRegistered = std::getenv("MOBI_TEST_OTHER_REGISTERED") != nullptr;
  const std::wstring libid = L"TypeLib\\{B8A358C2-521A-40E4-A422-792B094C78E0}";
  EXPECT_FALSE(KeyExists(L"CLSID\\{E235FA25-67D9-417F-B48A-B47F66D450AC}"));
  EXPECT_FALSE(KeyExists(libid + L"\\2.0\\0\\" + kSyskind));
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_clsSMS, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             object.put_void()),
            REGDB_E_CLASSNOTREG);
  if (otherRegistered) return;
  CLSID clsid{};
  EXPECT_NE(CLSIDFromProgID(L"Mobi.clsSMS", &clsid), S_OK);
  EXPECT_FALSE(KeyExists(L"Mobi.clsSMS"));
  EXPECT_FALSE(KeyExists(L"Interface\\{0D08FCD4-DC32-438D-89F2-A4A7927973FB}"));
  EXPECT_FALSE(KeyExists(L"Interface\\{49ED6FE2-691F-4E73-BB3D-52B4AF99EC83}"));
  EXPECT_FALSE(KeyExists(libid));
}

}  // namespace
}  // namespace mobi::test
