// A buffer handed to an outside function, with guard room behind it.
//
// The room is followed by guard bytes holding a known pattern up to the end
// of its memory pages, and the pages are enclosed by inaccessible pages. A
// write past the room into the guard is detected after the call
// (guard_intact() is false); a write further on, or before the start, stops
// the process at the faulting write instead of corrupting other memory.
#pragma once

#include <cstddef>

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

 private:
  void* map_ = nullptr;
  std::size_t map_size_ = 0;
  unsigned char* data_ = nullptr;
  std::size_t room_ = 0;
  std::size_t guard_ = 0;
};

}  // namespace rt
