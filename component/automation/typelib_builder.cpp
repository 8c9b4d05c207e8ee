// Build tool: writes the type library of Mobi.dll (MSFT format) through the
// object runtime's own writer, and the two 20-byte identifier resources.
//
//   mobi_typelib_builder OUT.tlb IID.bin SRCIID.bin [OUT.idl]
//
// OUT.idl, if given, is the same library written as IDL text, for clients
// and readers (widl cannot compile it back: it refuses a version and
// "nonextensible" on a dispinterface).
//
// It runs at build time (under Wine when cross-building), once per
// architecture: the 64-bit build writes a SYS_WIN64 library, the 32-bit build a
// SYS_WIN32 one. Everything it writes comes from mobi_automation.h.
//
// The runtime's writer wants things in a certain order: all four type infos
// are created first, in the order of the library, and filled afterwards; the
// dual interface gets its flags before its IDispatch base; the coclass gets
// its flags after its implemented interfaces (adding them marks it
// dispatchable); every type is laid out before the library is saved.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "automation/com_resources.h"
#include "automation/mobi_automation.h"

namespace {

using namespace mobi::automation;

struct Failure {
  const char* step;
  HRESULT hr;
};

void Check(HRESULT hr, const char* step) {
  if (FAILED(hr)) throw Failure{step, hr};
}

TYPEDESC g_enumTypeDesc;  // VT_USERDEFINED: enuStatus_Type, set once its reference is known

// An element description for one parameter (or a return value) of type vt.
// Pointer types of the result parameters point into `storage`, which must
// outlive the description.
ELEMDESC MakeElem(VARTYPE vt, bool pointer, USHORT flags, std::vector<TYPEDESC>& storage) {
  ELEMDESC e{};
  TYPEDESC base{};
  if (vt == VT_USERDEFINED) {
    base = g_enumTypeDesc;
  } else {
    base.vt = vt;
  }
  if (pointer) {
    storage.push_back(base);
    e.tdesc.vt = VT_PTR;
    e.tdesc.lptdesc = &storage.back();
  } else {
    e.tdesc = base;
  }
  e.paramdesc.wParamFlags = flags;
  return e;
}

// Adds one member: a virtual-table method of the dual interface (vtable slot
// `slot` after IDispatch's seven) or a method of a dispinterface.
void AddMember(ICreateTypeInfo* info, UINT index, const MemberDesc& m, bool dispatchOnly) {
  std::vector<TYPEDESC> storage;
  storage.reserve(8);
  std::vector<ELEMDESC> params;
  std::vector<const wchar_t*> names{m.name};
  for (int i = 0; i < m.paramCount; ++i) {
    const ParamDesc& p = m.params[i];
    if (p.kind == ParamKind::In) {
      params.push_back(MakeElem(p.vt, false, PARAMFLAG_FIN, storage));
    } else {
      params.push_back(MakeElem(p.vt, true, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, storage));
    }
    names.push_back(p.name);
  }
  FUNCDESC fd{};
  fd.memid = m.dispid;
  fd.funckind = dispatchOnly ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
  fd.invkind = INVOKE_FUNC;
  fd.callconv = CC_STDCALL;
  fd.cParams = static_cast<SHORT>(params.size());
  fd.lprgelemdescParam = params.empty() ? nullptr : params.data();
  fd.oVft = dispatchOnly ? 0 : static_cast<SHORT>((7 + index) * sizeof(void*));
  fd.elemdescFunc.tdesc.vt = dispatchOnly ? VT_VOID : VT_HRESULT;
  Check(info->AddFuncDesc(index, &fd), "AddFuncDesc");
  Check(info->SetFuncAndParamNames(index, const_cast<LPOLESTR*>(names.data()),
                                   static_cast<UINT>(names.size())),
        "SetFuncAndParamNames");
}

void Build(const wchar_t* path) {
#ifdef _WIN64
  const SYSKIND syskind = SYS_WIN64;
#else
  const SYSKIND syskind = SYS_WIN32;
#endif
  ComPtr<ICreateTypeLib2> lib;
  Check(CreateTypeLib2(syskind, path, lib.put()), "CreateTypeLib2");
  Check(lib->SetName(const_cast<LPOLESTR>(kLibraryName)), "SetName");
  Check(lib->SetDocString(const_cast<LPOLESTR>(kLibraryHelpString)), "SetDocString");
  Check(lib->SetGuid(LIBID_Mobi), "SetGuid(library)");
  Check(lib->SetVersion(kLibraryMajor, kLibraryMinor), "SetVersion(library)");
  Check(lib->SetLcid(kLibraryLcid), "SetLcid");

  // The standard OLE Automation library, for IDispatch.
  ComPtr<ITypeLib> stdole;
  Check(LoadRegTypeLib(IID_StdOle, 2, 0, 0, stdole.put()), "LoadRegTypeLib(stdole 2.0)");
  ComPtr<ITypeInfo> dispatchInfo;
  Check(stdole->GetTypeInfoOfGuid(IID_IDispatch, dispatchInfo.put()),
        "GetTypeInfoOfGuid(IDispatch)");

  // 1. Create the four types, in the order of the library.
  ComPtr<ICreateTypeInfo> itf, cls, evt, enm;
  Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(kInterfaceName), TKIND_INTERFACE, itf.put()),
        "CreateTypeInfo(_clsSMS)");
  Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(kClassName), TKIND_COCLASS, cls.put()),
        "CreateTypeInfo(clsSMS)");
  Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(kEventsName), TKIND_DISPATCH, evt.put()),
        "CreateTypeInfo(__clsSMS)");
  Check(lib->CreateTypeInfo(const_cast<LPOLESTR>(kEnumName), TKIND_ENUM, enm.put()),
        "CreateTypeInfo(enuStatus_Type)");

  // 2. The enumeration.
  Check(enm->SetGuid(GUID_enuStatus_Type), "SetGuid(enum)");
  Check(enm->SetVersion(kEnumMajor, kEnumMinor), "SetVersion(enum)");
  UINT index = 0;
  for (const EnumMemberDesc& member : kStatusMembers) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = member.value;
    VARDESC vd{};
    vd.memid = static_cast<MEMBERID>(0x40000000 + index);  // replaced by LayOut
    vd.varkind = VAR_CONST;
    vd.lpvarValue = &value;
    vd.elemdescVar.tdesc.vt = VT_I4;
    Check(enm->AddVarDesc(index, &vd), "AddVarDesc");
    Check(enm->SetVarName(index, const_cast<LPOLESTR>(member.name)), "SetVarName");
    ++index;
  }

  // References from the other types.
  HREFTYPE hrefDispatch = 0, hrefEnum = 0, hrefItf = 0, hrefEvt = 0;
  {
    ComPtr<ITypeInfo> enumInfo, itfInfo, evtInfo;
    Check(enm->QueryInterface(IID_ITypeInfo, enumInfo.put_void()), "QI(enum)");
    Check(itf->QueryInterface(IID_ITypeInfo, itfInfo.put_void()), "QI(_clsSMS)");
    Check(evt->QueryInterface(IID_ITypeInfo, evtInfo.put_void()), "QI(__clsSMS)");
    Check(itf->AddRefTypeInfo(dispatchInfo.get(), &hrefDispatch), "AddRefTypeInfo(IDispatch)");
    Check(itf->AddRefTypeInfo(enumInfo.get(), &hrefEnum), "AddRefTypeInfo(enum)");
    Check(cls->AddRefTypeInfo(itfInfo.get(), &hrefItf), "AddRefTypeInfo(_clsSMS)");
    Check(cls->AddRefTypeInfo(evtInfo.get(), &hrefEvt), "AddRefTypeInfo(__clsSMS)");
  }
  g_enumTypeDesc.vt = VT_USERDEFINED;
  g_enumTypeDesc.hreftype = hrefEnum;

  // 3. The dual interface: flags before its base.
  Check(itf->SetGuid(IID__clsSMS), "SetGuid(_clsSMS)");
  Check(itf->SetVersion(kInterfaceMajor, kInterfaceMinor), "SetVersion(_clsSMS)");
  Check(itf->SetTypeFlags(kInterfaceFlags), "SetTypeFlags(_clsSMS)");
  Check(itf->AddImplType(0, hrefDispatch), "AddImplType(_clsSMS: IDispatch)");
  index = 0;
  for (const MemberDesc& m : kMethods) AddMember(itf.get(), index++, m, false);

  // 4. The class: implemented interfaces first, then its flags.
  Check(cls->SetGuid(CLSID_clsSMS), "SetGuid(clsSMS)");
  Check(cls->SetVersion(kClassMajor, kClassMinor), "SetVersion(clsSMS)");
  Check(cls->AddImplType(0, hrefItf), "AddImplType(clsSMS: _clsSMS)");
  Check(cls->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT), "SetImplTypeFlags(_clsSMS)");
  Check(cls->AddImplType(1, hrefEvt), "AddImplType(clsSMS: __clsSMS)");
  Check(cls->SetImplTypeFlags(1, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE),
        "SetImplTypeFlags(__clsSMS)");
  Check(cls->SetTypeFlags(kClassFlags), "SetTypeFlags(clsSMS)");

  // 5. The event interface.
  Check(evt->SetGuid(DIID___clsSMS), "SetGuid(__clsSMS)");
  Check(evt->SetVersion(kEventsMajor, kEventsMinor), "SetVersion(__clsSMS)");
  Check(evt->SetTypeFlags(kEventsFlags), "SetTypeFlags(__clsSMS)");
  {
    HREFTYPE hrefEvtDispatch = 0;
    Check(evt->AddRefTypeInfo(dispatchInfo.get(), &hrefEvtDispatch), "AddRefTypeInfo(IDispatch)");
    Check(evt->AddImplType(0, hrefEvtDispatch), "AddImplType(__clsSMS: IDispatch)");
  }
  index = 0;
  for (const MemberDesc& m : kEvents) AddMember(evt.get(), index++, m, true);

  // 6. Lay out every type, then save.
  Check(itf->LayOut(), "LayOut(_clsSMS)");
  Check(cls->LayOut(), "LayOut(clsSMS)");
  Check(evt->LayOut(), "LayOut(__clsSMS)");
  Check(enm->LayOut(), "LayOut(enuStatus_Type)");
  Check(lib->SaveAllChanges(), "SaveAllChanges");
}

// The runtime's writer records an enumeration as wide as a pointer (8 bytes
// in a SYS_WIN64 library); MIDL and widl record 4 on every architecture, and
// clients that lay out structures from the library rely on it. The saved
// file gets the size of every enumeration set to 4.
//
// MSFT layout: a 0x54-byte header (with one more 32-bit word when flag 0x100
// names a help string DLL), the offsets of the type infos, the segment
// directory (its first entry locates the type info table), then the table of
// 100-byte type info entries: the kind in the low 4 bits of word 0, the
// instance size in word 20.
void RecordEnumerationsAsFourBytes(const wchar_t* path) {
  FILE* f = _wfopen(path, L"r+b");
  if (!f) throw Failure{"reopening the type library", HRESULT_FROM_WIN32(GetLastError())};
  std::vector<unsigned char> data;
  unsigned char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
    data.insert(data.end(), chunk, chunk + n);
  }
  auto word = [&](size_t at) {
    if (at + 4 > data.size()) throw Failure{"reading the type library", TYPE_E_INVDATAREAD};
    int32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  const size_t offsets = 0x54 + ((word(0x14) & 0x100) ? 4 : 0);
  const int32_t count = word(0x20);
  if (count < 0) throw Failure{"reading the type library", TYPE_E_INVDATAREAD};
  const size_t table = static_cast<size_t>(word(offsets + 4 * static_cast<size_t>(count)));
  bool ok = true;
  for (int32_t i = 0; i < count; ++i) {
    const size_t entry = table + static_cast<size_t>(word(offsets + 4 * static_cast<size_t>(i)));
    if ((word(entry) & 0xF) != TKIND_ENUM || word(entry + 0x50) == 4) continue;
    const int32_t four = 4;
    ok = ok && std::fseek(f, static_cast<long>(entry + 0x50), SEEK_SET) == 0 &&
         std::fwrite(&four, 4, 1, f) == 1;
  }
  if (std::fclose(f) != 0 || !ok) {
    throw Failure{"writing the type library", STG_E_WRITEFAULT};
  }
}

// The resource data for an interface identifier: a 32-bit length (16), then
// the identifier's 16 bytes.
bool WriteIdResource(const wchar_t* path, const GUID& id) {
  unsigned char data[20];
  const uint32_t length = 16;
  std::memcpy(data, &length, 4);
  std::memcpy(data + 4, &id, 16);
  FILE* f = _wfopen(path, L"wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, sizeof data, f) == sizeof data;
  return std::fclose(f) == 0 && ok;
}

// ---- The IDL text -------------------------------------------------------------

std::wstring Uuid(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  std::wstring s(text);
  return s.substr(1, s.size() - 2);  // without the braces
}

std::wstring TypeText(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
      return L"short";
    case VT_BSTR:
      return L"BSTR";
    case VT_BOOL:
      return L"VARIANT_BOOL";
    case VT_USERDEFINED:
      return kEnumName;
    default:
      return L"VARIANT";
  }
}

std::wstring Hex(long value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(value));
  return text;
}

std::wstring Version(WORD major, WORD minor) {
  return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

std::wstring Member(const MemberDesc& m, bool dispatchOnly) {
  std::wstring out = L"        [id(" + Hex(m.dispid) + L")]\n        ";
  out += dispatchOnly ? L"void " : L"HRESULT ";
  out += m.name;
  out += L"(";
  for (int i = 0; i < m.paramCount; ++i) {
    const ParamDesc& p = m.params[i];
    if (i) out += L", ";
    if (p.kind == ParamKind::In) {
      out += L"[in] " + TypeText(p.vt) + L" " + p.name;
    } else {
      out += L"[out, retval] " + TypeText(p.vt) + L"* " + p.name;
    }
  }
  return out + L");\n";
}

std::wstring IdlText() {
  std::wstring t;
  t += L"// The automation interface of Mobi.dll, as its type library holds it.\n";
  t += L"// Written by mobi_typelib_builder from mobi_automation.h, in the order of\n";
  t += L"// the library (an IDL compiler would want enuStatus_Type first).\n\n";
  t += L"[\n  uuid(" + Uuid(LIBID_Mobi) + L"),\n  version(" +
       Version(kLibraryMajor, kLibraryMinor) + L"),\n  helpstring(\"" + kLibraryHelpString +
       L"\")\n]\nlibrary " + kLibraryName + L"\n{\n";
  t += L"    importlib(\"stdole2.tlb\");\n\n";
  t += L"    interface " + std::wstring(kInterfaceName) + L";\n";
  t += L"    dispinterface " + std::wstring(kEventsName) + L";\n\n";
  t += L"    [\n      odl,\n      uuid(" + Uuid(IID__clsSMS) + L"),\n      version(" +
       Version(kInterfaceMajor, kInterfaceMinor) +
       L"),\n      hidden,\n      dual,\n      nonextensible,\n      oleautomation\n    ]\n";
  t += L"    interface " + std::wstring(kInterfaceName) + L" : IDispatch {\n";
  for (const MemberDesc& m : kMethods) t += Member(m, false);
  t += L"    };\n\n";
  t += L"    [\n      uuid(" + Uuid(CLSID_clsSMS) + L"),\n      version(" +
       Version(kClassMajor, kClassMinor) + L")\n    ]\n";
  t += L"    coclass " + std::wstring(kClassName) + L" {\n        [default] interface " +
       kInterfaceName + L";\n        [default, source] dispinterface " + kEventsName +
       L";\n    };\n\n";
  t += L"    [\n      uuid(" + Uuid(DIID___clsSMS) + L"),\n      version(" +
       Version(kEventsMajor, kEventsMinor) + L"),\n      hidden,\n      nonextensible\n    ]\n";
  t += L"    dispinterface " + std::wstring(kEventsName) +
       L" {\n        properties:\n        methods:\n";
  for (const MemberDesc& m : kEvents) t += Member(m, true);
  t += L"    };\n\n";
  t += L"    typedef [uuid(" + Uuid(GUID_enuStatus_Type) + L"), version(" +
       Version(kEnumMajor, kEnumMinor) + L")]\n    enum {\n";
  bool first = true;
  for (const EnumMemberDesc& e : kStatusMembers) {
    if (!first) t += L",\n";
    first = false;
    t += L"        " + std::wstring(e.name) + L" = " + std::to_wstring(e.value);
  }
  t += L"\n    } " + std::wstring(kEnumName) + L";\n};\n";
  return t;
}

bool WriteIdl(const wchar_t* path) {
  const std::wstring text = IdlText();
  std::string ascii(text.begin(), text.end());  // every name is ASCII
  FILE* f = _wfopen(path, L"wb");
  if (!f) return false;
  const bool ok = std::fwrite(ascii.data(), 1, ascii.size(), f) == ascii.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: mobi_typelib_builder OUT.tlb IID.bin SRCIID.bin [OUT.idl]\n");
    return 2;
  }
  HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    std::fprintf(stderr, "mobi_typelib_builder: CoInitialize failed: 0x%08lX\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  int rc = 0;
  try {
    DeleteFileW(argv[1]);
    Build(argv[1]);
    RecordEnumerationsAsFourBytes(argv[1]);
  } catch (const Failure& f) {
    std::fprintf(stderr, "mobi_typelib_builder: %s failed: 0x%08lX\n", f.step,
                 static_cast<unsigned long>(f.hr));
    rc = 1;
  }
  if (rc == 0 &&
      (!WriteIdResource(argv[2], IID__clsSMS) || !WriteIdResource(argv[3], DIID___clsSMS))) {
    std::fprintf(stderr, "mobi_typelib_builder: cannot write the identifier resources\n");
    rc = 1;
  }
  if (rc == 0 && argc == 5 && !WriteIdl(argv[4])) {
    std::fprintf(stderr, "mobi_typelib_builder: cannot write the IDL text\n");
    rc = 1;
  }
  CoUninitialize();
  return rc;
}
