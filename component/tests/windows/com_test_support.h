// Helpers for the C++ automation clients of the Windows tests: the owners of
// the server's own com_resources.h, the registered server, and an event sink.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "automation/com_resources.h"
#include "automation/mobi_automation.h"

namespace mobi::test {

using automation::Bstr;
using automation::ComPtr;
using automation::RegKey;

// The environment of the test run: the DLL under test (a Windows path) and
// the COM port that a scripted terminal serves (0 if none).
inline std::wstring EnvText(const char* name) {
  const char* v = std::getenv(name);
  if (!v) return {};
  std::string s(v);
  return std::wstring(s.begin(), s.end());
}
inline std::wstring DllPath() {
  return EnvText("MOBI_TEST_DLL");
}
inline short TerminalPort() {
  const char* v = std::getenv("MOBI_TEST_PORT");
  return v ? static_cast<short>(std::atoi(v)) : 0;
}

// The thread's error information after a failed call: its description.
inline std::wstring LastErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  Bstr text;
  info->GetDescription(text.put());
  return text.str();
}

// The Visual Basic style HRESULT of an error number.
constexpr HRESULT VbError(long number) {
  return static_cast<HRESULT>(0x800A0000UL | static_cast<unsigned long>(number));
}

// An event sink: a plain IDispatch that records every call of dispatch id 1
// (SMSError) with its string argument and runs an optional action then.
class Sink final : public IDispatch {
 public:
  explicit Sink(bool answersEventInterface) : eventInterface_(answersEventInterface) {}

  std::vector<std::wstring> received;
  std::function<void()> onEvent;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (eventInterface_ && IsEqualIID(riid, mobi::automation::DIID___clsSMS))) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (id != 1 || !(flags & DISPATCH_METHOD) || !params || params->cArgs != 1 ||
        V_VT(&params->rgvarg[0]) != VT_BSTR) {
      bad++;
      return DISP_E_MEMBERNOTFOUND;
    }
    BSTR s = V_BSTR(&params->rgvarg[0]);
    received.emplace_back(s ? std::wstring(s, SysStringLen(s)) : std::wstring());
    if (onEvent) onEvent();
    return S_OK;
  }

  ULONG refs() const { return refs_; }
  int bad = 0;

 private:
  bool eventInterface_;
  ULONG refs_ = 0;
};

}  // namespace mobi::test
