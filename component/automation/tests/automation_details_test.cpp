// Details of the automation layer that clients rely on without ever seeing
// them in a normal session: the layout the type library records for the
// enumeration, and which argument IDispatch::Invoke blames for a type
// mismatch. The DLL is loaded directly (no registration needed).
//
//   MOBI_TEST_DLL  the Windows path of Mobi.dll
#include <windows.h>

#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdlib>
#include <string>

#include "automation/com_resources.h"
#include "automation/mobi_automation.h"

namespace {

using namespace mobi::automation;

std::wstring DllPath() {
  const wchar_t* path = _wgetenv(L"MOBI_TEST_DLL");
  return path ? path : L"";
}

class AutomationDetails : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(DllPath().empty()) << "MOBI_TEST_DLL is not set";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override { CoUninitialize(); }
};

// MIDL and widl record an enumeration as a 4-byte, 4-aligned type on every
// architecture; clients that lay out structures from the library rely on it.
TEST_F(AutomationDetails, EnumerationIsFourBytesWide) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, lib.put()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(GUID_enuStatus_Type, info.put()), S_OK);
  TYPEATTR* ta = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta->typekind, TKIND_ENUM);
  EXPECT_EQ(ta->cbSizeInstance, 4u);
  EXPECT_EQ(ta->cbAlignment, 4u);
  info->ReleaseTypeAttr(ta);
}

// A type mismatch names the failing argument by its index in rgvarg, where
// the arguments stand in reverse order.
TEST_F(AutomationDetails, TypeMismatchNamesTheFailingArgument) {
  HMODULE dll = LoadLibraryW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  ASSERT_NE(get, nullptr);
  ComPtr<IDispatch> object;
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get(CLSID_clsSMS, IID_IClassFactory, factory.put_void()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
  }

  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);  // converts to no scalar or text
  ASSERT_NE(array, nullptr);
  struct Case {
    DISPID dispid;
    bool firstBad;  // the first parameter does not convert, else the last one
    UINT expected;
  };
  // SendSMS(Tel, Data) and Initialize(ComPort, Settings): rgvarg[1] is the
  // first parameter, rgvarg[0] the second.
  const Case cases[] = {{kDispid_SendSMS, false, 0},
                        {kDispid_SendSMS, true, 1},
                        {kDispid_Initialize, true, 1},
                        {kDispid_Initialize, false, 0}};
  for (const Case& c : cases) {
    VARIANT args[2];
    for (VARIANT& v : args) VariantInit(&v);
    VARIANT& first = args[1];
    VARIANT& second = args[0];
    const bool bstrFirst = c.dispid == kDispid_SendSMS;
    if (c.firstBad) {
      V_VT(&first) = VT_ARRAY | VT_I4;
      V_ARRAY(&first) = array;
    } else if (bstrFirst) {
      V_VT(&first) = VT_BSTR;
      V_BSTR(&first) = SysAllocString(L"13800138000");
    } else {
      V_VT(&first) = VT_I2;
      V_I2(&first) = 42;
    }
    if (c.firstBad) {
      V_VT(&second) = VT_BSTR;
      V_BSTR(&second) = SysAllocString(L"9600,n,8,1");
    } else {
      V_VT(&second) = VT_ARRAY | VT_I4;
      V_ARRAY(&second) = array;
    }
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 99;
    const HRESULT hr = object->Invoke(c.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                      &params, &result, &excep, &argErr);
    EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << "dispid " << std::hex << c.dispid;
    EXPECT_EQ(argErr, c.expected) << "dispid " << std::hex << c.dispid << " first bad "
                                  << c.firstBad;
    VariantClear(&result);
    for (VARIANT& v : args) {
      if (V_VT(&v) == VT_BSTR) VariantClear(&v);
    }
  }
  SafeArrayDestroy(array);
}

}  // namespace
