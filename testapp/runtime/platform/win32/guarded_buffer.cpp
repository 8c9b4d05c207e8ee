// Guarded buffers in their own pages, through VirtualAlloc:
//   [no access][room | guard pattern][no access x trailing_pages],
// and the exception handler that names the outside call when one of them is
// hit.
#include "rt/guarded_buffer.h"

#include <windows.h>

#include <new>

namespace rt {

namespace {

constexpr std::size_t trailing_pages = 16;

unsigned char pattern(std::size_t i) {
  auto b = static_cast<unsigned char>(0xA5 ^ (i * 31));
  return b ? b : 0x5A;
}

std::size_t page_size() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwPageSize ? si.dwPageSize : 4096;
}

}  // namespace

GuardedBuffer::GuardedBuffer(std::size_t room) : room_(room ? room : 1) {
  const std::size_t page = page_size();
  // At least a whole page of guard pattern behind the room.
  const std::size_t usable = (room_ + page + page - 1) / page * page;
  map_size_ = page + usable + trailing_pages * page;
  map_ = VirtualAlloc(nullptr, map_size_, MEM_RESERVE, PAGE_NOACCESS);
  if (!map_) throw std::bad_alloc();
  data_ = static_cast<unsigned char*>(map_) + page;
  if (!VirtualAlloc(data_, usable, MEM_COMMIT, PAGE_READWRITE)) {
    VirtualFree(map_, 0, MEM_RELEASE);
    map_ = nullptr;
    throw std::bad_alloc();
  }
  guard_ = usable - room_;
  for (std::size_t i = 0; i < guard_; ++i) data_[room_ + i] = pattern(i);
}

GuardedBuffer::~GuardedBuffer() {
  if (map_) VirtualFree(map_, 0, MEM_RELEASE);
}

bool GuardedBuffer::guard_intact() const {
  for (std::size_t i = 0; i < guard_; ++i) {
    if (data_[room_ + i] != pattern(i)) return false;
  }
  return true;
}

// ---- the watch ------------------------------------------------------------

namespace {

// The watch of the outside call running on this thread: the exception
// handler has no other way to learn what was being called.
thread_local OutsideCallWatch* current_watch = nullptr;

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (!current_watch || (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_STACK_OVERFLOW)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const void* address = nullptr;
  if (code == EXCEPTION_ACCESS_VIOLATION && info->ExceptionRecord->NumberParameters >= 2) {
    address = reinterpret_cast<const void*>(info->ExceptionRecord->ExceptionInformation[1]);
  }
  const std::string& message = current_watch->message_for(address);
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

OutsideCallWatch::OutsideCallWatch(std::string_view entry)
    : entry_(entry),
      own_fault_("mobirt: stopped: the outside function " + entry_ +
                 " faulted outside the buffers it was given\n") {
  saved_ = AddVectoredExceptionHandler(1, on_exception);
  outer_ = current_watch;
  current_watch = this;
}

OutsideCallWatch::~OutsideCallWatch() {
  current_watch = outer_;
  if (saved_) RemoveVectoredExceptionHandler(saved_);
}

}  // namespace rt
