// Guarded buffers in their own pages:
//   [no access][room | guard pattern][no access x trailing_pages],
// and the fault handler that names the outside call when one of them is hit.
#include "rt/guarded_buffer.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace rt {

namespace {

constexpr std::size_t trailing_pages = 16;

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
  // At least a whole page of guard pattern behind the room.
  const std::size_t usable = (room_ + page + page - 1) / page * page;
  map_size_ = page + usable + trailing_pages * page;
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

// ---- the watch ------------------------------------------------------------

namespace {

// The watch of the outside call running on this thread: the fault handler
// has no other way to learn what was being called.
thread_local OutsideCallWatch* current_watch = nullptr;

struct SavedHandlers {
  struct sigaction segv, bus;
  stack_t stack;
};

// Room for the handler to run on when the fault came from a smashed stack.
thread_local unsigned char alt_stack[64 * 1024];

void on_fault(int sig, siginfo_t* info, void*) {
  if (current_watch) {
    const std::string& message = current_watch->message_for(info->si_addr);
    ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
    (void)ignored;
  }
  // The default action ends the process when the faulting write runs again.
  signal(sig, SIG_DFL);
}

}  // namespace

OutsideCallWatch::OutsideCallWatch(std::string_view entry)
    : entry_(entry),
      own_fault_("mobirt: stopped: the outside function " + entry_ +
                 " faulted outside the buffers it was given\n") {
  auto* saved = new SavedHandlers;
  stack_t ss{};
  ss.ss_sp = alt_stack;
  ss.ss_size = sizeof alt_stack;
  sigaltstack(&ss, &saved->stack);
  struct sigaction sa {};
  sa.sa_sigaction = on_fault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGSEGV, &sa, &saved->segv);
  sigaction(SIGBUS, &sa, &saved->bus);
  saved_ = saved;
  outer_ = current_watch;
  current_watch = this;
}

OutsideCallWatch::~OutsideCallWatch() {
  current_watch = outer_;
  auto* saved = static_cast<SavedHandlers*>(saved_);
  sigaction(SIGSEGV, &saved->segv, nullptr);
  sigaction(SIGBUS, &saved->bus, nullptr);
  if (!(saved->stack.ss_flags & SS_DISABLE)) sigaltstack(&saved->stack, nullptr);
  delete saved;
}

}  // namespace rt
