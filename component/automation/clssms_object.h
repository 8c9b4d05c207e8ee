// The automation object clsSMS: the dual interface _clsSMS over the
// component's mobi::clsSMS, error information, class information, and the
// connection point through which SMSError reaches the clients' sinks.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <vector>

#include "automation/com_object.h"
#include "automation/com_resources.h"
#include "automation/mobi_automation.h"
#include "mobi/clsSMS.h"

namespace mobi::automation {

class ClsSmsObject;

// The connection point for __clsSMS. It lives inside its object and shares
// the object's reference count.
class SmsErrorConnectionPoint final : public IConnectionPoint {
 public:
  explicit SmsErrorConnectionPoint(ClsSmsObject& owner) : owner_(owner) {}
  ~SmsErrorConnectionPoint();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* piid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

  // Calls SMSError(message) on every connected sink, in the order they were
  // connected. A sink disconnected by an earlier sink's handler is skipped.
  void FireSMSError(const std::u16string& message);

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };
  bool Connected(DWORD cookie) const;

  ClsSmsObject& owner_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

class ClsSmsObject final
    : public ComObject<
          ClsSmsObject, Implements<_clsSMS, IID_IDispatch, IID__clsSMS>,
          Implements<ISupportErrorInfo, IID_ISupportErrorInfo>,
          Implements<IProvideClassInfo2, IID_IProvideClassInfo, IID_IProvideClassInfo2>,
          Implements<IConnectionPointContainer, IID_IConnectionPointContainer>> {
 public:
  // Throws mobi::Error (for example from another thread) or std::bad_alloc.
  ClsSmsObject();
  ~ClsSmsObject();

  // IDispatch, through the type library in the DLL's resources.
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

  // _clsSMS
  STDMETHODIMP Initialize(short ComPort, BSTR Settings, BSTR* Result) override;
  STDMETHODIMP MobiCheck(BSTR* Result) override;
  STDMETHODIMP SetMobiCode(BSTR CenterCode, VARIANT_BOOL* Result) override;
  STDMETHODIMP MobiReset() override;
  STDMETHODIMP SendSMS(BSTR Tel, BSTR Data, ::mobi::enuStatus_Type* Result) override;
  STDMETHODIMP MobiSignal(short* Result) override;
  STDMETHODIMP ATSend(BSTR ATCMD) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
  STDMETHODIMP GetGUID(DWORD guidKind, GUID* pGUID) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

 private:
  // Loads the type library from the DLL's own resource once per object; the
  // dispatch and virtual-table halves of _clsSMS and the class.
  HRESULT LoadTypeInfo();

  ComPtr<ITypeInfo> dispatchInfo_;  // _clsSMS as clients see it (TKIND_DISPATCH)
  ComPtr<ITypeInfo> vtableInfo_;    // _clsSMS, virtual-table half, for DispInvoke
  ComPtr<ITypeInfo> classInfo_;     // clsSMS
  SmsErrorConnectionPoint point_;
  std::unique_ptr<::mobi::clsSMS> core_;
  ::mobi::clsSMS::Subscription subscription_ = 0;
};

}  // namespace mobi::automation
