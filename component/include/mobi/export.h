// Marks the component's public interface. The shared library is built with
// hidden visibility, so only what carries MOBI_API is exported from it.
#pragma once

#if defined(_WIN32)
// On Windows the component is an automation server: clients reach it through
// COM, not through exported C++ symbols.
#define MOBI_API
#else
#define MOBI_API __attribute__((visibility("default")))
#endif
