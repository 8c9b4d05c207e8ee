#include "automation/clssms_object.h"

#include <new>
#include <utility>

#include "automation/module.h"
#include "mobi/errors.h"

namespace mobi::automation {

namespace {

// Runs one call of the component. A failure becomes the HRESULT of its error
// number with the description in the thread's error information; no C++
// exception leaves.
template <typename F>
HRESULT Guard(F&& call) {
  try {
    call();
    return S_OK;
  } catch (...) {
    return ReportCurrentException();
  }
}

HRESULT OutOfMemory() {
  return ReportError(HresultOfError(::mobi::kOutOfMemory), L"Out of memory");
}

// A snapshot enumerator over a fixed list of elements. Copy(elem) gives the
// caller its own reference; Drop(elem) gives up the enumerator's.
template <typename IEnum, typename Elem, const IID& Iid, void (*Copy)(Elem&), void (*Drop)(Elem&)>
class Enumerator final
    : public ComObject<Enumerator<IEnum, Elem, Iid, Copy, Drop>, Implements<IEnum, Iid>> {
 public:
  explicit Enumerator(std::vector<Elem> items) : items_(std::move(items)) {}
  ~Enumerator() {
    for (Elem& e : items_) Drop(e);
  }

  STDMETHODIMP Next(ULONG count, Elem* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_++];
      Copy(out[n]);
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    size_t left = items_.size() - pos_;
    if (count > left) {
      pos_ = items_.size();
      return S_FALSE;
    }
    pos_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnum** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    std::vector<Elem> copy = items_;
    for (Elem& e : copy) Copy(e);
    auto* clone = new (std::nothrow) Enumerator(std::move(copy));
    if (!clone) return E_OUTOFMEMORY;
    clone->pos_ = pos_;
    *ppEnum = clone;
    return S_OK;
  }

 private:
  std::vector<Elem> items_;
  size_t pos_ = 0;
};

void CopyConnection(CONNECTDATA& c) {
  c.pUnk->AddRef();
}
void DropConnection(CONNECTDATA& c) {
  c.pUnk->Release();
}
void CopyPoint(IConnectionPoint*& p) {
  p->AddRef();
}
void DropPoint(IConnectionPoint*& p) {
  p->Release();
}

using ConnectionEnumerator =
    Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections, CopyConnection, DropConnection>;
using PointEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*,
                                   IID_IEnumConnectionPoints, CopyPoint, DropPoint>;

}  // namespace

// ---- The connection point ------------------------------------------------------

SmsErrorConnectionPoint::~SmsErrorConnectionPoint() {
  // The sinks' releases may call back into us: the list is empty first.
  std::vector<Sink> sinks = std::move(sinks_);
  sinks_.clear();
}

STDMETHODIMP SmsErrorConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  return QueryInterfaceOf<SmsErrorConnectionPoint,
                          Implements<IConnectionPoint, IID_IConnectionPoint>>(this, riid, ppv);
}

STDMETHODIMP_(ULONG) SmsErrorConnectionPoint::AddRef() {
  return owner_.AddRef();
}
STDMETHODIMP_(ULONG) SmsErrorConnectionPoint::Release() {
  return owner_.Release();
}

STDMETHODIMP SmsErrorConnectionPoint::GetConnectionInterface(IID* piid) {
  if (!piid) return E_POINTER;
  *piid = DIID___clsSMS;
  return S_OK;
}

STDMETHODIMP SmsErrorConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = &owner_;
  owner_.AddRef();
  return S_OK;
}

STDMETHODIMP SmsErrorConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  // A sink of __clsSMS, or any plain IDispatch: both are called by dispatch id.
  if (FAILED(sink->QueryInterface(DIID___clsSMS, dispatch.put_void())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    sinks_.push_back(Sink{nextCookie_, std::move(dispatch)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

STDMETHODIMP SmsErrorConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      ComPtr<IDispatch> dispatch = std::move(it->dispatch);
      sinks_.erase(it);
      dispatch.Reset();  // may call back into us: the list is consistent already
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP SmsErrorConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  try {
    std::vector<CONNECTDATA> items;
    items.reserve(sinks_.size());
    for (const Sink& s : sinks_) items.push_back(CONNECTDATA{s.dispatch.get(), s.cookie});
    auto* e = new ConnectionEnumerator(std::move(items));  // nothrow from here on
    for (const Sink& s : sinks_) s.dispatch->AddRef();     // the enumerator's references
    *ppEnum = e;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool SmsErrorConnectionPoint::Connected(DWORD cookie) const {
  for (const Sink& s : sinks_) {
    if (s.cookie == cookie) return true;
  }
  return false;
}

void SmsErrorConnectionPoint::FireSMSError(const std::u16string& message) {
  // The sinks may disconnect themselves or others, connect new ones, or
  // release the object while they run: work on a snapshot that holds its own
  // references, and keep the object alive until the last sink returns.
  std::vector<Sink> snapshot = sinks_;
  if (snapshot.empty()) return;
  owner_.AddRef();
  Bstr text;
  text.Attach(ToBstr(message));
  for (Sink& s : snapshot) {
    if (!Connected(s.cookie)) continue;
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text.get();
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXCEPINFO excep{};
    // What a sink's handler does is its own business: its failure does not
    // stop the other sinks, nor the component's wait that raised the event.
    s.dispatch->Invoke(kDispid_SMSError, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                       nullptr, &excep, nullptr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  snapshot.clear();  // the sinks go before the object may
  owner_.Release();  // may destroy the object (and this connection point)
}

// ---- The object ----------------------------------------------------------------

ClsSmsObject::ClsSmsObject() : point_(*this) {
  core_ = std::make_unique<::mobi::clsSMS>();
  subscription_ = core_->SubscribeSMSError(
      [this](const std::u16string& message) { point_.FireSMSError(message); });
}

ClsSmsObject::~ClsSmsObject() {
  if (core_) {
    try {
      core_->UnsubscribeSMSError(subscription_);
    } catch (...) {
      // Termination goes on whatever happens; the component's own
      // termination below closes the port.
    }
    core_.reset();
  }
}

HRESULT ClsSmsObject::LoadTypeInfo() {
  if (vtableInfo_) return S_OK;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, lib.put());
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> dispatchInfo, classInfo, vtableInfo;
  hr = lib->GetTypeInfoOfGuid(IID__clsSMS, dispatchInfo.put());
  if (SUCCEEDED(hr)) hr = lib->GetTypeInfoOfGuid(CLSID_clsSMS, classInfo.put());
  // The dual interface's virtual-table half: what DispInvoke calls through.
  if (SUCCEEDED(hr)) {
    HREFTYPE href = 0;
    hr = dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &href);
    if (SUCCEEDED(hr)) hr = dispatchInfo->GetRefTypeInfo(href, vtableInfo.put());
  }
  if (FAILED(hr)) return hr;
  dispatchInfo_ = std::move(dispatchInfo);
  classInfo_ = std::move(classInfo);
  vtableInfo_ = std::move(vtableInfo);
  return S_OK;
}

STDMETHODIMP ClsSmsObject::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

STDMETHODIMP ClsSmsObject::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  dispatchInfo_.CopyTo(ppTInfo);
  return S_OK;
}

STDMETHODIMP ClsSmsObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                         DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(vtableInfo_.get(), names, count, ids);
}

// The index in rgvarg of the first argument, in parameter order, that does not
// convert to its parameter's type; -1 if every one converts. Positional
// arguments stand in reverse order: the first parameter is the last of rgvarg.
static int FailingArgument(DISPID id, const DISPPARAMS& params) {
  for (const MemberDesc& m : kMethods) {
    if (m.dispid != id) continue;
    const UINT positional = params.cArgs - params.cNamedArgs;
    for (int p = 0; p < m.paramCount; ++p) {
      if (m.params[p].kind != ParamKind::In) continue;
      int index = -1;
      for (UINT n = 0; n < params.cNamedArgs; ++n) {
        if (params.rgdispidNamedArgs[n] == p) index = static_cast<int>(n);
      }
      if (index < 0) {
        if (static_cast<UINT>(p) >= positional) continue;  // missing, not mismatched
        index = static_cast<int>(params.cArgs) - 1 - p;
      }
      VARIANT converted;
      VariantInit(&converted);
      const HRESULT hr = VariantChangeType(&converted, &params.rgvarg[index], 0, m.params[p].vt);
      VariantClear(&converted);
      if (FAILED(hr)) return index;
    }
  }
  return -1;
}

STDMETHODIMP ClsSmsObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  // Keep the object alive through the call: a handler of an event raised
  // inside the call may release the client's last reference.
  AddRef();
  SetErrorInfo(0, nullptr);
  hr = DispInvoke(static_cast<_clsSMS*>(this), vtableInfo_.get(), id, flags, params, result, excep,
                  argErr);
  // The runtime reports a mismatch without saying which argument it was.
  if (hr == DISP_E_TYPEMISMATCH && argErr && params && params->rgvarg) {
    const int index = FailingArgument(id, *params);
    if (index >= 0) *argErr = static_cast<UINT>(index);
  }
  // A failed method: late-bound callers get DISP_E_EXCEPTION with the error's
  // number and description, whether or not the runtime filled them in. Error
  // information present now was set by the method (it was cleared above);
  // the runtime's own failures (a bad argument count, say) pass unchanged.
  if (FAILED(hr) && hr != DISP_E_EXCEPTION) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
      if (excep) {
        *excep = EXCEPINFO{};
        excep->scode = hr;
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
      }
      hr = DISP_E_EXCEPTION;
    }
  }
  Release();
  return hr;
}

// ---- _clsSMS -------------------------------------------------------------------

STDMETHODIMP ClsSmsObject::Initialize(short ComPort, BSTR Settings, BSTR* Result) {
  if (!Result) return E_POINTER;
  *Result = nullptr;
  std::u16string text;
  HRESULT hr = Guard([&] { text = core_->Initialize(ComPort, FromBstr(Settings)); });
  if (FAILED(hr)) return hr;
  *Result = ToBstr(text);
  return *Result ? S_OK : OutOfMemory();
}

STDMETHODIMP ClsSmsObject::MobiCheck(BSTR* Result) {
  if (!Result) return E_POINTER;
  *Result = nullptr;
  std::u16string text;
  HRESULT hr = Guard([&] { text = core_->MobiCheck(); });
  if (FAILED(hr)) return hr;
  *Result = ToBstr(text);
  return *Result ? S_OK : OutOfMemory();
}

STDMETHODIMP ClsSmsObject::SetMobiCode(BSTR CenterCode, VARIANT_BOOL* Result) {
  if (!Result) return E_POINTER;
  *Result = VARIANT_FALSE;
  bool ok = false;
  HRESULT hr = Guard([&] { ok = core_->SetMobiCode(FromBstr(CenterCode)); });
  if (SUCCEEDED(hr)) *Result = ok ? VARIANT_TRUE : VARIANT_FALSE;
  return hr;
}

STDMETHODIMP ClsSmsObject::MobiReset() {
  return Guard([&] { core_->MobiReset(); });
}

STDMETHODIMP ClsSmsObject::SendSMS(BSTR Tel, BSTR Data, ::mobi::enuStatus_Type* Result) {
  if (!Result) return E_POINTER;
  *Result = ::mobi::typeSendOk;
  ::mobi::enuStatus_Type status = ::mobi::typeSendOk;
  HRESULT hr = Guard([&] { status = core_->SendSMS(FromBstr(Tel), FromBstr(Data)); });
  if (SUCCEEDED(hr)) *Result = status;
  return hr;
}

STDMETHODIMP ClsSmsObject::MobiSignal(short* Result) {
  if (!Result) return E_POINTER;
  *Result = 0;
  int16_t level = 0;
  HRESULT hr = Guard([&] { level = core_->MobiSignal(); });
  if (SUCCEEDED(hr)) *Result = level;
  return hr;
}

STDMETHODIMP ClsSmsObject::ATSend(BSTR ATCMD) {
  return Guard([&] { core_->ATSend(FromBstr(ATCMD)); });
}

// ---- Error and class information, connection points ----------------------------

STDMETHODIMP ClsSmsObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__clsSMS) ? S_OK : S_FALSE;
}

STDMETHODIMP ClsSmsObject::GetClassInfo(ITypeInfo** ppTI) {
  if (!ppTI) return E_POINTER;
  *ppTI = nullptr;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  classInfo_.CopyTo(ppTI);
  return S_OK;
}

STDMETHODIMP ClsSmsObject::GetGUID(DWORD guidKind, GUID* pGUID) {
  if (!pGUID) return E_POINTER;
  if (guidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *pGUID = GUID_NULL;
    return E_INVALIDARG;
  }
  *pGUID = DIID___clsSMS;
  return S_OK;
}

STDMETHODIMP ClsSmsObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  point_.AddRef();  // the enumerator's reference
  try {
    *ppEnum = new PointEnumerator(std::vector<IConnectionPoint*>{&point_});
    return S_OK;
  } catch (const std::bad_alloc&) {
    point_.Release();
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ClsSmsObject::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (!IsEqualIID(riid, DIID___clsSMS)) return CONNECT_E_NOCONNECTION;
  point_.AddRef();
  *ppCP = &point_;
  return S_OK;
}

}  // namespace mobi::automation
