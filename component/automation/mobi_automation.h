// The automation interface of Mobi.dll, in one place: library, class and
// interface identifiers, type names, versions, flags, dispatch ids, method and
// parameter names and types, and the enumeration members.
//
// Everything else comes from here: the C++ declaration of the dual interface
// _clsSMS (below), the type library written by mobi_typelib_builder, the
// identifier resources, the registration and the object's QueryInterface.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>

#include <cstdint>

#include "mobi/clsSMS.h"

namespace mobi::automation {

// ---- Identifiers, fixed once -------------------------------------------------

inline constexpr GUID LIBID_Mobi = {
    0xB8A358C2, 0x521A, 0x40E4, {0xA4, 0x22, 0x79, 0x2B, 0x09, 0x4C, 0x78, 0xE0}};
inline constexpr GUID IID__clsSMS = {
    0x0D08FCD4, 0xDC32, 0x438D, {0x89, 0xF2, 0xA4, 0xA7, 0x92, 0x79, 0x73, 0xFB}};
inline constexpr GUID CLSID_clsSMS = {
    0xE235FA25, 0x67D9, 0x417F, {0xB4, 0x8A, 0xB4, 0x7F, 0x66, 0xD4, 0x50, 0xAC}};
inline constexpr GUID DIID___clsSMS = {
    0x49ED6FE2, 0x691F, 0x4E73, {0xBB, 0x3D, 0x52, 0xB4, 0xAF, 0x99, 0xEC, 0x83}};
inline constexpr GUID GUID_enuStatus_Type = {
    0x81DBCD08, 0x5DB9, 0x45B6, {0x88, 0x26, 0x47, 0x66, 0x08, 0x69, 0xE1, 0xFB}};

// ---- The library -------------------------------------------------------------

inline constexpr const wchar_t* kLibraryName = L"Mobi";
inline constexpr const wchar_t* kLibraryHelpString = L"Tarvos Mobi ActiveX DLL 1.0";
inline constexpr WORD kLibraryMajor = 2;
inline constexpr WORD kLibraryMinor = 0;
inline constexpr LCID kLibraryLcid = 0;
inline constexpr const wchar_t* kProgId = L"Mobi.clsSMS";
inline constexpr const wchar_t* kFileName = L"Mobi.dll";

// The types, in the order of the library.
inline constexpr const wchar_t* kInterfaceName = L"_clsSMS";
inline constexpr WORD kInterfaceMajor = 1, kInterfaceMinor = 1;
inline constexpr UINT kInterfaceFlags =
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;

inline constexpr const wchar_t* kClassName = L"clsSMS";
inline constexpr WORD kClassMajor = 1, kClassMinor = 1;
inline constexpr UINT kClassFlags = TYPEFLAG_FCANCREATE;

inline constexpr const wchar_t* kEventsName = L"__clsSMS";
inline constexpr WORD kEventsMajor = 1, kEventsMinor = 1;
inline constexpr UINT kEventsFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE;

inline constexpr const wchar_t* kEnumName = L"enuStatus_Type";
inline constexpr WORD kEnumMajor = 1, kEnumMinor = 0;

// ---- Members -----------------------------------------------------------------
//
// A method is M(name, dispatch id, parameters...); a parameter is a tuple
// (kind, automation type, C++ type, name). Kind In is an input by value; kind
// Ret is the final out/retval parameter that carries the result. The automation
// type VT_USERDEFINED stands for enuStatus_Type, the only user type.

#define MOBI_CLSSMS_METHODS(M)                                                          \
  M(Initialize, 0x6003000A, (In, VT_I2, short, ComPort), (In, VT_BSTR, BSTR, Settings), \
    (Ret, VT_BSTR, BSTR*, Result))                                                      \
  M(MobiCheck, 0x6003000B, (Ret, VT_BSTR, BSTR*, Result))                               \
  M(SetMobiCode, 0x6003000C, (In, VT_BSTR, BSTR, CenterCode),                           \
    (Ret, VT_BOOL, VARIANT_BOOL*, Result))                                              \
  M(MobiReset, 0x6003000D)                                                              \
  M(SendSMS, 0x6003000E, (In, VT_BSTR, BSTR, Tel), (In, VT_BSTR, BSTR, Data),           \
    (Ret, VT_USERDEFINED, ::mobi::enuStatus_Type*, Result))                             \
  M(MobiSignal, 0x6003000F, (Ret, VT_I2, short*, Result))                               \
  M(ATSend, 0x60030010, (In, VT_BSTR, BSTR, ATCMD))

// The events of __clsSMS, in the same form (inputs only).
#define MOBI_CLSSMS_EVENTS(M) M(SMSError, 1, (In, VT_BSTR, BSTR, ErrorMessage))

// The members of enuStatus_Type: E(name, value).
#define MOBI_STATUS_MEMBERS(E) \
  E(typeNoSend, 1)             \
  E(typeSendOk, 2)             \
  E(typeCenterOK, 3)           \
  E(TypeCustError, 4)          \
  E(typeCustOK, 5)             \
  E(typeError, 6)

// ---- Preprocessor plumbing: apply F to each parameter tuple, comma-separated.
#define MOBI_PP_CAT_(a, b) a##b
#define MOBI_PP_CAT(a, b) MOBI_PP_CAT_(a, b)
#define MOBI_PP_COUNT_(a, b, c, n, ...) n
#define MOBI_PP_COUNT(...) MOBI_PP_COUNT_(__VA_ARGS__, 3, 2, 1, 0)
#define MOBI_PP_MAP_1(F, a) F a
#define MOBI_PP_MAP_2(F, a, b) F a, F b
#define MOBI_PP_MAP_3(F, a, b, c) F a, F b, F c
#define MOBI_PP_MAP(F, ...) \
  __VA_OPT__(MOBI_PP_CAT(MOBI_PP_MAP_, MOBI_PP_COUNT(__VA_ARGS__))(F, __VA_ARGS__))
#define MOBI_PP_NARGS(...) (0 __VA_OPT__(+MOBI_PP_COUNT(__VA_ARGS__)))

// ---- The C++ declarations ----------------------------------------------------

// The members of enuStatus_Type are those of the public C++ enumeration.
#define MOBI_CHECK_MEMBER(name, value) \
  static_assert(::mobi::name == (value), "enuStatus_Type differs from the public header");
MOBI_STATUS_MEMBERS(MOBI_CHECK_MEMBER)
#undef MOBI_CHECK_MEMBER
static_assert(sizeof(::mobi::enuStatus_Type) == 4, "enuStatus_Type is a 32-bit value");

#define MOBI_CPP_PARAM(kind, vt, type, name) type name
#define MOBI_CPP_METHOD(name, dispid, ...) \
  virtual HRESULT STDMETHODCALLTYPE name(MOBI_PP_MAP(MOBI_CPP_PARAM, __VA_ARGS__)) = 0;

// The dual interface _clsSMS, virtual-table part.
struct _clsSMS : public IDispatch {
  MOBI_CLSSMS_METHODS(MOBI_CPP_METHOD)
};

#undef MOBI_CPP_METHOD

// Dispatch ids as constants: kDispid_Initialize, ..., kDispid_SMSError.
#define MOBI_DISPID_CONSTANT(name, dispid, ...) inline constexpr DISPID kDispid_##name = dispid;
MOBI_CLSSMS_METHODS(MOBI_DISPID_CONSTANT)
MOBI_CLSSMS_EVENTS(MOBI_DISPID_CONSTANT)
#undef MOBI_DISPID_CONSTANT

// ---- The same, as data (for the type library builder and the tests) ----------

enum class ParamKind { In, Ret };

struct ParamDesc {
  ParamKind kind;
  VARTYPE vt;
  const wchar_t* name;
};

struct MemberDesc {
  const wchar_t* name;
  DISPID dispid;
  int paramCount;
  ParamDesc params[3];
};

struct EnumMemberDesc {
  const wchar_t* name;
  int32_t value;
};

#define MOBI_DATA_PARAM(kind, vt, type, name) \
  ParamDesc {                                 \
    ParamKind::kind, vt, L"" #name            \
  }
#define MOBI_DATA_MEMBER(name, dispid, ...) \
  MemberDesc{                               \
      L"" #name, dispid, MOBI_PP_NARGS(__VA_ARGS__), {MOBI_PP_MAP(MOBI_DATA_PARAM, __VA_ARGS__)}},
#define MOBI_DATA_ENUM(name, value) EnumMemberDesc{L"" #name, value},

inline constexpr MemberDesc kMethods[] = {MOBI_CLSSMS_METHODS(MOBI_DATA_MEMBER)};
inline constexpr MemberDesc kEvents[] = {MOBI_CLSSMS_EVENTS(MOBI_DATA_MEMBER)};
inline constexpr EnumMemberDesc kStatusMembers[] = {MOBI_STATUS_MEMBERS(MOBI_DATA_ENUM)};

#undef MOBI_DATA_PARAM
#undef MOBI_DATA_MEMBER
#undef MOBI_DATA_ENUM

}  // namespace mobi::automation
