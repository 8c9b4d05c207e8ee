// The messages of an outside-call watch (the fault handling itself is the
// platform layer's).
#include <cstdint>

#include "rt/guarded_buffer.h"

namespace rt {

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
