// The four exports of Mobi.dll and its class factory.
#include <windows.h>

#include <olectl.h>

#include <new>

#include "automation/clssms_object.h"
#include "automation/com_object.h"
#include "automation/module.h"
#include "automation/registration.h"

namespace mobi::automation {
namespace {

// The class factory of clsSMS. Every reference to it keeps the DLL loaded,
// like a live object does.
class ClassFactory final
    : public ComObject<ClassFactory, Implements<IClassFactory, IID_IClassFactory>> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ClsSmsObject* object = nullptr;
    try {
      object = new ClsSmsObject();
    } catch (...) {
      return ReportCurrentException();  // a call from another thread, say
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // the object lives on only if the caller holds it
    return hr;
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    ::mobi::automation::LockServer(lock != FALSE);
    return S_OK;
  }
};

}  // namespace
}  // namespace mobi::automation

using namespace mobi::automation;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetModule(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_clsSMS)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return RegisterServer();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return UnregisterServer();
}
