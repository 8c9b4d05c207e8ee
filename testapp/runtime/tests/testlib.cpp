// An outside library for the runtime's tests: one entry for every parameter
// kind, and entries that misbehave the way a faulty library can.
#include <cstdint>
#include <cstring>
#include <string>

#ifndef RT_TESTLIB_COPY
#define RT_TESTLIB_COPY 1
#endif

// Entries are exported; on 32-bit Windows they are stdcall.
#if defined(_WIN32)
#define RT_ENTRY __declspec(dllexport) __stdcall
#else
#define RT_ENTRY
#endif

extern "C" {

// Which copy of the library this is (the build makes two, in two folders).
std::int32_t RT_ENTRY rt_which() {
  return RT_TESTLIB_COPY;
}

// Writes far past its buffer, beyond any guard, byte by byte as a runaway
// copy does.
int RT_ENTRY rt_far_overrun(char* buf) {
  volatile char* p = buf;
  for (int i = 0; i < (1 << 20); ++i) p[i] = 'F';
  return 1;
}

// L, S, RL, RS: the cell becomes old * 1000 + a; the buffer becomes
// "<s>|<its old text>", cut to the buffer's old length. True when a > 0.
int RT_ENTRY rt_kinds(std::int32_t a, const char* s, std::int32_t* cell, char* buf) {
  *cell = *cell * 1000 + a;
  std::size_t room = std::strlen(buf);
  std::string out = std::string(s) + "|" + buf;
  if (out.size() > room) out.resize(room);
  std::memcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
  return a > 0;
}

// L result.
std::int32_t RT_ENTRY rt_add(std::int32_t a, std::int32_t b) {
  return a + b;
}

// B parameter.
int RT_ENTRY rt_not(int flag) {
  return !flag;
}

int RT_ENTRY rt_untouched(char* buf) {
  (void)buf;
  return 1;
}

// Fills the whole room: as many characters as the text had, then the NUL.
int RT_ENTRY rt_fill_exact(char* buf) {
  std::size_t n = std::strlen(buf);
  std::memset(buf, 'Q', n);
  buf[n] = 0;
  return 1;
}

int RT_ENTRY rt_nul_inside(char* buf) {
  std::memcpy(buf, "ab\0cd", 5);
  return 1;
}

// Writes eight bytes past the room.
int RT_ENTRY rt_overrun(char* buf) {
  std::size_t n = std::strlen(buf);
  std::memset(buf, 'X', n + 1 + 8);
  return 1;
}

// Overwrites the NUL and nothing else: no NUL left in the room.
int RT_ENTRY rt_no_nul(char* buf) {
  std::size_t n = std::strlen(buf);
  std::memset(buf, 'Y', n + 1);
  return 1;
}

// A form entry that writes into the empty text it gets.
int RT_ENTRY rt_write_empty(char* buf) {
  std::strcpy(buf, "form failed");
  return 0;
}

// Treats its 32-bit cell as a 64-bit one.
int RT_ENTRY rt_wide_cell(std::int32_t* cell) {
  std::int64_t v = 7;
  std::memcpy(cell, &v, sizeof v);
  return 1;
}

// Writes into, and past, a text it gets by value.
int RT_ENTRY rt_scribble(const char* s) {
  char* p = const_cast<char*>(s);
  std::memset(p, 'Z', std::strlen(s) + 4);
  return 1;
}

}  // extern "C"
