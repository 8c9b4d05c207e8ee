// Self-registration of Mobi.dll: the class, its programmatic identifier, the
// two interfaces and the type library, each in the registry view of the DLL's
// own architecture.
#pragma once

#include <windows.h>

namespace mobi::automation {

// Writes every entry; S_OK, or SELFREG_E_TYPELIB / SELFREG_E_CLASS.
HRESULT RegisterServer();

// Removes what this architecture's DLL registered. Entries that the registry
// shares between the 32-bit and 64-bit views (the programmatic identifier, the
// type library's version key) stay while the other architecture's DLL is
// still registered, so that unregistering one does not break the other.
HRESULT UnregisterServer();

}  // namespace mobi::automation
