// Raising the component's errors; the numbers and their texts are public
// (mobi/errors.h).
#pragma once

#include <string>

#include "mobi/clsSMS.h"
#include "mobi/errors.h"

namespace mobi::core {

// An Error whose description is the standard text, followed by ": detail"
// when a detail is given.
[[noreturn]] void Raise(int32_t number, const std::string& detail = {});

}  // namespace mobi::core
