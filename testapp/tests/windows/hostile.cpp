// A hostile ProjSmsDLL.dll: it opens and closes like the real one, but its
// fetch writes past the 500-space buffer into the guard and its send writes
// a megabyte into its error text, far beyond any guard.
#include <cstdint>
#include <cstring>

#define ENTRY extern "C" __declspec(dllexport) int __stdcall

ENTRY hs_open_device(std::int32_t, std::int32_t, std::int32_t, const char*, std::int32_t* handle,
                     char* err) {
  *handle = 7;
  err[0] = 0;
  return 1;
}

ENTRY hs_close_device(std::int32_t, std::int32_t, char* err) {
  err[0] = 0;
  return 1;
}

ENTRY hs_get_onemessage(char* message, char*, char*, char*, char* err) {
  std::memset(message, 'M', 600);
  message[600] = 0;
  err[0] = 0;
  return 1;
}

ENTRY hs_send_onemessage(const char*, const char*, const char*, std::int32_t, char* err) {
  volatile char* p = err;  // byte by byte, as a runaway copy writes
  for (int i = 0; i < (1 << 20); ++i) p[i] = 'E';
  return 1;
}

ENTRY DLLFormShow(char*) {
  return 1;
}
