// UTF-8, the runtime's own form of names and paths, and UTF-16, the form the
// system's wide calls take. Text that does not convert becomes empty, as the
// system's conversion leaves it.
#pragma once

#include <string>
#include <string_view>

namespace rt::wide_text {

std::wstring from_utf8(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

}  // namespace rt::wide_text
