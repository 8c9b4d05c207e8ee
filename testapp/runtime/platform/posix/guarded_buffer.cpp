// Guarded buffers in their own pages: [no access][room | guard pattern][no access].
#include "rt/guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

namespace rt {

namespace {

constexpr std::size_t min_guard = 64;

unsigned char pattern(std::size_t i) {
  auto b = static_cast<unsigned char>(0xA5 ^ (i * 31));
  return b ? b : 0x5A;
}

std::size_t page_size() {
  long p = sysconf(_SC_PAGESIZE);
  return p > 0 ? static_cast<std::size_t>(p) : 4096;
}

}  // namespace

GuardedBuffer::GuardedBuffer(std::size_t room) : room_(room ? room : 1) {
  const std::size_t page = page_size();
  const std::size_t usable = (room_ + min_guard + page - 1) / page * page;
  map_size_ = usable + 2 * page;
  map_ = mmap(nullptr, map_size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map_ == MAP_FAILED) {
    map_ = nullptr;
    throw std::bad_alloc();
  }
  data_ = static_cast<unsigned char*>(map_) + page;
  if (mprotect(data_, usable, PROT_READ | PROT_WRITE) != 0) {
    munmap(map_, map_size_);
    map_ = nullptr;
    throw std::bad_alloc();
  }
  guard_ = usable - room_;
  for (std::size_t i = 0; i < guard_; ++i) data_[room_ + i] = pattern(i);
}

GuardedBuffer::~GuardedBuffer() {
  if (map_) munmap(map_, map_size_);
}

bool GuardedBuffer::guard_intact() const {
  for (std::size_t i = 0; i < guard_; ++i) {
    if (data_[room_ + i] != pattern(i)) return false;
  }
  return true;
}

}  // namespace rt
