// The error number that a call fails with, for tests.
#pragma once

#include <cstdint>
#include <string>

#include "mobi/clsSMS.h"

namespace mobi::test {

// The number of the mobi::Error that `f` throws (its text into `*text`), or
// 0 if `f` does not fail.
template <typename F>
int32_t ErrorNumberOf(F&& f, std::string* text = nullptr) {
  try {
    f();
  } catch (const Error& e) {
    if (text) *text = e.what();
    return e.number();
  }
  return 0;
}

}  // namespace mobi::test
