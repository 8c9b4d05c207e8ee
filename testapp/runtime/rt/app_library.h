// What an application library gives the runtime that loads it: the name of
// its application class and a function that defines its classes.
//
// The library exports `extern "C" const rt::AppLibrary* mobirt_application()`.
#pragma once

namespace rt {

class Runtime;

inline constexpr int app_library_abi = 1;

struct AppLibrary {
  int abi;                // app_library_abi of the runtime the library was built for
  const char* app_class;  // the application class to start
  void (*define_classes)(Runtime& rt);
};

}  // namespace rt

extern "C" const rt::AppLibrary* mobirt_application();
