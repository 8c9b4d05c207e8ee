// Guarded buffers in their own pages:
//   [no access][room | guard pattern][no access x trailing_pages],
// and the messages of an outside-call watch. The pages and the fault handler
// are the platform's (platform/guard_pages.h).
#include "rt/guarded_buffer.h"

#include <cstdint>
#include <new>

#include "platform/guard_pages.h"

namespace rt {

namespace {

constexpr std::size_t trailing_pages = 16;

unsigned char pattern(std::size_t i) {
  auto b = static_cast<unsigned char>(0xA5 ^ (i * 31));
  return b ? b : 0x5A;
}

// The watch of the outside call running on this thread: the fault handler
// has no other way to learn what was being called.
thread_local OutsideCallWatch* current_watch = nullptr;

}  // namespace

GuardedBuffer::GuardedBuffer(std::size_t room) : room_(room ? room : 1) {
  const std::size_t page = guard_pages::page_size();
  // At least a whole page of guard pattern behind the room.
  const std::size_t usable = (room_ + page + page - 1) / page * page;
  map_size_ = page + usable + trailing_pages * page;
  map_ = guard_pages::reserve(map_size_);
  if (!map_) throw std::bad_alloc();
  data_ = static_cast<unsigned char*>(map_) + page;
  if (!guard_pages::open(data_, usable)) {
    guard_pages::release(map_, map_size_);
    map_ = nullptr;
    throw std::bad_alloc();
  }
  guard_ = usable - room_;
  for (std::size_t i = 0; i < guard_; ++i) data_[room_ + i] = pattern(i);
}

GuardedBuffer::~GuardedBuffer() {
  if (map_) guard_pages::release(map_, map_size_);
}

bool GuardedBuffer::guard_intact() const {
  for (std::size_t i = 0; i < guard_; ++i) {
    if (data_[room_ + i] != pattern(i)) return false;
  }
  return true;
}

// ---- the watch ------------------------------------------------------------

OutsideCallWatch::OutsideCallWatch(std::string_view entry)
    : entry_(entry),
      own_fault_("mobirt: stopped: the outside function " + entry_ +
                 " faulted outside the buffers it was given\n") {
  saved_ = guard_pages::install_fault_handler();
  outer_ = current_watch;
  current_watch = this;
}

OutsideCallWatch::~OutsideCallWatch() {
  current_watch = outer_;
  guard_pages::remove_fault_handler(saved_);
}

const OutsideCallWatch* OutsideCallWatch::current() {
  return current_watch;
}

void OutsideCallWatch::watch(const GuardedBuffer& buffer, std::size_t parameter,
                             std::string_view kind) {
  watched_.push_back({buffer.reservation(), buffer.reservation() + buffer.reservation_size(),
                      "mobirt: stopped: the outside function " + entry_ +
                          " wrote outside the buffer of its parameter " +
                          std::to_string(parameter) + " (" + std::string(kind) + ")\n",
                      "mobirt: stopped: the outside function " + entry_ +
                          " wrote far outside its buffers, likely past the buffer of its "
                          "parameter " +
                          std::to_string(parameter) + " (" + std::string(kind) + ")\n"});
}

const std::string& OutsideCallWatch::message_for(const void* address) const {
  auto a = reinterpret_cast<std::uintptr_t>(address);
  const Watched* below = nullptr;  // the nearest buffer that starts below the address
  for (const auto& w : watched_) {
    auto begin = reinterpret_cast<std::uintptr_t>(w.begin);
    if (a >= begin && a < reinterpret_cast<std::uintptr_t>(w.end)) return w.message;
    if (begin <= a && (!below || begin > reinterpret_cast<std::uintptr_t>(below->begin))) {
      below = &w;
    }
  }
  // A write that skipped the inaccessible pages (some copy routines write the
  // end of a block first) is named after the buffer it most likely started in.
  return below ? below->far_message : own_fault_;
}

}  // namespace rt
