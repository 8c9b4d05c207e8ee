// Guard pages through mmap and mprotect; memory faults through SIGSEGV and
// SIGBUS on an alternate stack.
#include "platform/guard_pages.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include "rt/guarded_buffer.h"

namespace rt::guard_pages {

std::size_t page_size() {
  long p = sysconf(_SC_PAGESIZE);
  return p > 0 ? static_cast<std::size_t>(p) : 4096;
}

void* reserve(std::size_t size) {
  void* map = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return map == MAP_FAILED ? nullptr : map;
}

bool open(void* at, std::size_t size) {
  return mprotect(at, size, PROT_READ | PROT_WRITE) == 0;
}

void release(void* base, std::size_t size) {
  munmap(base, size);
}

namespace {

struct SavedHandlers {
  struct sigaction segv, bus;
  stack_t stack;
};

// Room for the handler to run on when the fault came from a smashed stack.
thread_local unsigned char alt_stack[64 * 1024];

void on_fault(int sig, siginfo_t* info, void*) {
  if (const OutsideCallWatch* watch = OutsideCallWatch::current()) {
    const std::string& message = watch->message_for(info->si_addr);
    ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
    (void)ignored;
  }
  // The default action ends the process when the faulting write runs again.
  signal(sig, SIG_DFL);
}

}  // namespace

void* install_fault_handler() {
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
  return saved;
}

void remove_fault_handler(void* saved_handlers) {
  auto* saved = static_cast<SavedHandlers*>(saved_handlers);
  sigaction(SIGSEGV, &saved->segv, nullptr);
  sigaction(SIGBUS, &saved->bus, nullptr);
  if (!(saved->stack.ss_flags & SS_DISABLE)) sigaltstack(&saved->stack, nullptr);
  delete saved;
}

}  // namespace rt::guard_pages
