#include "automation/module.h"

#include <new>
#include <stdexcept>

#include "automation/com_resources.h"
#include "automation/mobi_automation.h"
#include "mobi/errors.h"
#include "win32/system_text.h"

namespace mobi::automation {

namespace {
HMODULE g_module = nullptr;
// Live clsSMS objects and outstanding class-factory references.
LONG g_objects = 0;
// IClassFactory::LockServer(TRUE) calls not yet undone.
LONG g_locks = 0;
}  // namespace

void SetModule(HMODULE module) {
  g_module = module;
}
HMODULE Module() {
  return g_module;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ObjectCreated() {
  InterlockedIncrement(&g_objects);
}
void ObjectDestroyed() {
  InterlockedDecrement(&g_objects);
}
void LockServer(bool lock) {
  if (lock) {
    InterlockedIncrement(&g_locks);
  } else {
    InterlockedDecrement(&g_locks);
  }
}
bool CanUnload() {
  return g_objects == 0 && g_locks == 0;
}

std::u16string FromBstr(BSTR s) {
  if (!s) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s));
}

BSTR ToBstr(const std::u16string& s) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

HRESULT HresultOfError(long number) {
  if (number < 0) return static_cast<HRESULT>(number);
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
}

HRESULT ReportError(HRESULT hr, const std::wstring& description) {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetGUID(IID__clsSMS);
    create->SetSource(const_cast<LPOLESTR>(kProgId));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) {
      SetErrorInfo(0, info.get());
    }
  }
  return hr;
}

HRESULT ReportCurrentException() {
  try {
    throw;
  } catch (const ::mobi::Error& e) {
    return ReportError(HresultOfError(e.number()), win32::Wide(e.description()));
  } catch (const std::bad_alloc&) {
    return ReportError(HresultOfError(::mobi::kOutOfMemory), L"Out of memory");
  } catch (const std::exception& e) {
    return ReportError(HresultOfError(::mobi::kInternalError),
                       L"Internal error: " + win32::Wide(e.what()));
  } catch (...) {
    return ReportError(HresultOfError(::mobi::kInternalError), L"Internal error");
  }
}

}  // namespace mobi::automation
