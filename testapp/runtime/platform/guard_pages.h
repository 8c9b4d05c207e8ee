// What the guarded buffers and the outside-call watch ask of the platform:
// pages to reserve, open and release, and the handler of memory faults. The
// layout, the guard pattern and the messages are the core's
// (core/guarded_buffer.cpp); each platform implements only these calls
// (platform/posix/guard_pages.cpp, platform/win32/guard_pages.cpp).
#pragma once

#include <cstddef>

namespace rt::guard_pages {

std::size_t page_size();
// `size` bytes of inaccessible pages, or null when there is no room.
void* reserve(std::size_t size);
// Makes `size` bytes at `at`, inside a reservation, readable and writable.
bool open(void* at, std::size_t size);
// Gives back a whole reservation.
void release(void* base, std::size_t size);

// Installs the handler that, on a memory fault, writes the message of this
// thread's watch (OutsideCallWatch::current()) and ends the process; returns
// what remove_fault_handler() restores.
void* install_fault_handler();
void remove_fault_handler(void* saved);

}  // namespace rt::guard_pages
