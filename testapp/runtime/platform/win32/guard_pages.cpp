// Guard pages through VirtualAlloc; memory faults through a vectored
// exception handler.
#include "platform/guard_pages.h"

#include <windows.h>

#include "rt/guarded_buffer.h"

namespace rt::guard_pages {

std::size_t page_size() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwPageSize ? si.dwPageSize : 4096;
}

void* reserve(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
}

bool open(void* at, std::size_t size) {
  return VirtualAlloc(at, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void release(void* base, std::size_t) {
  VirtualFree(base, 0, MEM_RELEASE);
}

namespace {

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  const OutsideCallWatch* watch = OutsideCallWatch::current();
  if (!watch || (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_STACK_OVERFLOW)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const void* address = nullptr;
  if (code == EXCEPTION_ACCESS_VIOLATION && info->ExceptionRecord->NumberParameters >= 2) {
    address = reinterpret_cast<const void*>(info->ExceptionRecord->ExceptionInformation[1]);
  }
  const std::string& message = watch->message_for(address);
  DWORD written = 0;
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const bool told =
      err && err != INVALID_HANDLE_VALUE &&
      WriteFile(err, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
  // Started without a console: the operator sees the message in a box.
  if (!told) MessageBoxA(nullptr, message.c_str(), "mobiapp", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  OutputDebugStringA(message.c_str());
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void* install_fault_handler() {
  return AddVectoredExceptionHandler(1, on_exception);
}

void remove_fault_handler(void* saved) {
  if (saved) RemoveVectoredExceptionHandler(saved);
}

}  // namespace rt::guard_pages
