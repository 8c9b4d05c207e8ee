// What the whole DLL shares: its module handle, the count of live objects and
// server locks that DllCanUnloadNow reports, and the conversions between the
// component's C++ types and automation types.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace mobi::automation {

// The DLL's own module handle (set once, by DllMain).
void SetModule(HMODULE module);
HMODULE Module();
// The DLL's full path.
std::wstring ModulePath();

// Live objects and class-factory references plus server locks.
void ObjectCreated();
void ObjectDestroyed();
void LockServer(bool lock);
bool CanUnload();

// Converts between automation strings (a null BSTR is the empty string) and
// the component's UTF-16 strings.
std::u16string FromBstr(BSTR s);
// A new BSTR; nullptr only when out of memory.
BSTR ToBstr(const std::u16string& s);

// The HRESULT for one of the component's error numbers: Visual Basic style
// 0x800A0000 plus the number; numbers that already are failure codes pass.
HRESULT HresultOfError(long number);

// Inside a catch block: the HRESULT and error information for the exception
// being handled (a mobi::Error keeps its number and description).
HRESULT ReportCurrentException();

// Fills the thread's error information (source Mobi.clsSMS, the interface
// _clsSMS, `description`) and returns `hr`.
HRESULT ReportError(HRESULT hr, const std::wstring& description);

}  // namespace mobi::automation
