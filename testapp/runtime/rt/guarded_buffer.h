// A buffer handed to an outside function, with guard room behind it.
//
// The room is followed by guard bytes holding a known pattern (at least one
// page of them), and the buffer's pages are enclosed by inaccessible pages,
// several of them behind it. A write past the room into the guard is
// detected after the call (guard_intact() is false); a write further on, or
// before the start, faults at once. While an OutsideCallWatch lives, such a
// fault ends the process with a message naming the outside function and its
// parameter, instead of corrupting other memory or dying without a word.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class GuardedBuffer {
 public:
  // Room for `room` bytes (at least 1), zero-filled. Throws std::bad_alloc.
  explicit GuardedBuffer(std::size_t room);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  unsigned char* data() { return data_; }
  const unsigned char* data() const { return data_; }
  std::size_t room() const { return room_; }
  std::size_t guard_size() const { return guard_; }
  bool guard_intact() const;

  // The whole reservation, inaccessible pages included.
  const unsigned char* reservation() const { return static_cast<const unsigned char*>(map_); }
  std::size_t reservation_size() const { return map_size_; }

 private:
  void* map_ = nullptr;
  std::size_t map_size_ = 0;
  unsigned char* data_ = nullptr;
  std::size_t room_ = 0;
  std::size_t guard_ = 0;
};

// Watches one outside call on this thread: a memory fault inside the
// reservation of a watched buffer ends the process with "the outside function
// <entry> wrote outside the buffer of its parameter <n> (<kind>)"; any other
// fault during the call is named as the function's own. The messages are
// prepared before the call, so that the fault handler only writes them out.
class OutsideCallWatch {
 public:
  explicit OutsideCallWatch(std::string_view entry);
  ~OutsideCallWatch();
  OutsideCallWatch(const OutsideCallWatch&) = delete;
  OutsideCallWatch& operator=(const OutsideCallWatch&) = delete;

  // `parameter` counts from 1; `kind` is e.g. "by-reference text".
  void watch(const GuardedBuffer& buffer, std::size_t parameter, std::string_view kind);

  struct Watched {
    const unsigned char* begin;
    const unsigned char* end;
    std::string message;      // a fault inside its reservation
    std::string far_message;  // a fault beyond it, nearest above it
  };
  // The message for a fault at `address` (for the platform's fault handler).
  const std::string& message_for(const void* address) const;
  // The watch of the outside call running on this thread, or null.
  static const OutsideCallWatch* current();

 private:
  std::string entry_;
  std::string own_fault_;
  std::vector<Watched> watched_;
  OutsideCallWatch* outer_ = nullptr;
  void* saved_ = nullptr;  // the platform's previous fault handling
};

}  // namespace rt
