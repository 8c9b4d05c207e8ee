// IUnknown once for every object of the DLL: QueryInterface over a table of
// the interfaces an object implements, a thread-safe reference count, and the
// module's count of live objects (a live object keeps the DLL loaded).
#pragma once

#include <windows.h>

#include <unknwn.h>

#include "automation/module.h"

namespace mobi::automation {

// One interface of an object and the identifiers QueryInterface answers with
// it (its own and those of its bases that clients may ask for).
template <typename Interface_, const IID&... Iids>
struct Implements {
  using Interface = Interface_;
  template <typename Object>
  static void* Find(Object* self, REFIID riid) {
    return (... || IsEqualIID(riid, Iids)) ? static_cast<Interface*>(self) : nullptr;
  }
};

// QueryInterface of `self` over its table of Implements entries; IUnknown is
// the first entry's interface. The reference is taken with self->AddRef().
template <typename Object, typename First, typename... Rest>
HRESULT QueryInterfaceOf(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  void* found = IsEqualIID(riid, IID_IUnknown) ? static_cast<typename First::Interface*>(self)
                                               : First::Find(self, riid);
  ((found = found ? found : Rest::Find(self, riid)), ...);
  *ppv = found;
  if (!found) return E_NOINTERFACE;
  self->AddRef();
  return S_OK;
}

// The base of an object of class Derived (final) that implements the
// interfaces of its Implements entries. The object is created with one
// reference, its creator's, and deletes itself when the last one goes.
template <typename Derived, typename... Entries>
class ComObject : public Entries::Interface... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return QueryInterfaceOf<Derived, Entries...>(static_cast<Derived*>(this), riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }

 protected:
  ComObject() { ObjectCreated(); }
  ~ComObject() { ObjectDestroyed(); }

 private:
  LONG refs_ = 1;
};

}  // namespace mobi::automation
