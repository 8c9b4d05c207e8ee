#include "core/settings.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "core/errors.h"

namespace mobi::core {
namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += (c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

[[noreturn]] void Bad(const std::string& settings, const std::string& why) {
  Raise(kInvalidPropertyValue, "settings \"" + settings + "\": " + why +
                                   " (expected \"baud,parity,data,stop\", e.g. \"9600,n,8,1\")");
}

}  // namespace

LineSettings ParseSettings(const std::u16string& settings) {
  const std::string text = Narrow(settings);
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    auto comma = text.find(',', start);
    fields.push_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 4) Bad(text, "needs 4 fields, has " + std::to_string(fields.size()));

  LineSettings out;
  const std::string& baud = fields[0];
  auto [end, ec] = std::from_chars(baud.data(), baud.data() + baud.size(), out.baud);
  if (baud.empty() || ec != std::errc() || end != baud.data() + baud.size() || out.baud < 50 ||
      out.baud > 4000000) {
    Bad(text, "baud rate \"" + baud + "\" is not a number from 50 to 4000000");
  }

  const std::string& parity = fields[1];
  const char p = parity.size() == 1 ? static_cast<char>(parity[0] | 0x20) : 0;
  if (std::string("neoms").find(p) == std::string::npos || p == 0) {
    Bad(text, "parity \"" + parity + "\" is not one of n, e, o, m, s");
  }
  out.parity = p;

  const std::string& data = fields[2];
  if (data.size() != 1 || data[0] < '4' || data[0] > '8') {
    Bad(text, "data bits \"" + data + "\" is not one of 4 to 8");
  }
  out.dataBits = data[0] - '0';

  const std::string& stop = fields[3];
  if (stop == "1") {
    out.stopBits = 1;
  } else if (stop == "1.5") {
    out.stopBits = 1.5;
  } else if (stop == "2") {
    out.stopBits = 2;
  } else {
    Bad(text, "stop bits \"" + stop + "\" is not one of 1, 1.5, 2");
  }
  return out;
}

double BitsPerCharacter(const LineSettings& s) {
  return 1 + s.dataBits + (s.parity == 'n' ? 0 : 1) + s.stopBits;
}

std::chrono::nanoseconds LineTime(const LineSettings& s, std::size_t bytes) {
  const double seconds = static_cast<double>(bytes) * BitsPerCharacter(s) / s.baud;
  return std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9));
}

std::chrono::nanoseconds QuietGap(const LineSettings& s) {
  return std::max<std::chrono::nanoseconds>(LineTime(s, 3), kQuietGapFloor);
}

QuietGaps QuietGapsOf(const LineSettings& s, std::chrono::nanoseconds forwarding) {
  const std::chrono::nanoseconds whole = QuietGap(s);
  const std::chrono::nanoseconds adapter =
      std::max<std::chrono::nanoseconds>(forwarding, kAdapterForwarding);
  return {whole, std::max(whole, adapter + kForwardingMargin)};
}

}  // namespace mobi::core
