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
                          std::to_string(parameter) + " (" + std::string(kind) + ")\n"});
}

const std::string& OutsideCallWatch::message_for(const void* address) const {
  auto a = reinterpret_cast<std::uintptr_t>(address);
  for (const auto& w : watched_) {
    if (a >= reinterpret_cast<std::uintptr_t>(w.begin) &&
        a < reinterpret_cast<std::uintptr_t>(w.end)) {
      return w.message;
    }
  }
  return own_fault_;
}

}  // namespace rt
