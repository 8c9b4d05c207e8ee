// The one rule from the runtime's layout units, font sizes and colour codes to
// the screen. Every backend uses these functions and nothing else.
//
// Layout units: a horizontal unit is 7/32 of a pixel and a vertical unit 1/4
// of a pixel (so 2533 x 1408 units are 554 x 352 pixels), rounded to the
// nearest pixel, halves away from zero. Positions are relative to the
// window's client area; a window's width and height give its client area.
//
// Font sizes: a negative `textsize` is points, at 96 pixels per inch
// (-12 is 12 points, 16 pixels); a positive one is pixels.
//
// Colours: 33554432 is the system's window-text colour, 67108864 its
// button-face colour, 268435456 its application-workspace colour, 1073741824
// its window-background colour; any other value from 0 to 16777215 is
// red + 256 * green + 65536 * blue; any other value is the default colour of
// what it colours.
#pragma once

#include <cstdint>

#include "rt/text.h"

namespace rt::layout {

constexpr int scale(Long units, int num, int den) {
  std::int64_t n = static_cast<std::int64_t>(units) * num;
  std::int64_t r = (n >= 0 ? n + den / 2 : n - den / 2) / den;
  return static_cast<int>(r);
}

constexpr int x_px(Long units) {
  return scale(units, 7, 32);
}
constexpr int y_px(Long units) {
  return scale(units, 1, 4);
}

constexpr int font_px(Long textsize) {
  return textsize < 0 ? scale(-textsize, 96, 72) : static_cast<int>(textsize);
}

struct Rect {
  int x, y, width, height;
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

constexpr Rect to_px(Long x, Long y, Long width, Long height) {
  return {x_px(x), y_px(y), x_px(width), y_px(height)};
}

struct Colour {
  enum class Role { Default, Rgb, WindowText, ButtonFace, AppWorkspace, WindowBackground };
  Role role = Role::Default;
  std::uint8_t red = 0, green = 0, blue = 0;
  friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

constexpr Colour colour_of(Long code) {
  switch (code) {
    case 33554432:
      return {Colour::Role::WindowText};
    case 67108864:
      return {Colour::Role::ButtonFace};
    case 268435456:
      return {Colour::Role::AppWorkspace};
    case 1073741824:
      return {Colour::Role::WindowBackground};
    default:
      break;
  }
  if (code < 0 || code > 0xFFFFFF) return {};
  return {Colour::Role::Rgb, static_cast<std::uint8_t>(code & 0xFF),
          static_cast<std::uint8_t>((code >> 8) & 0xFF),
          static_cast<std::uint8_t>((code >> 16) & 0xFF)};
}

}  // namespace rt::layout
