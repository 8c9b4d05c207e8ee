#include "portmap.h"

#include <cctype>
#include <string_view>

namespace smsdll {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// "4" or "COM4" (any case) as a port number; nullopt otherwise.
std::optional<int32_t> ParsePortKey(std::string_view key) {
  if (key.size() > 3 && (key[0] == 'C' || key[0] == 'c') && (key[1] == 'O' || key[1] == 'o') &&
      (key[2] == 'M' || key[2] == 'm'))
    key.remove_prefix(3);
  if (key.empty() || key.size() > 9) return std::nullopt;
  int32_t n = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

Status ResolvePortPath(int32_t port, const PortMapSources& sources, std::string& path) {
  if (port < 1)
    return {Error::kInvalidArgument,
            "port " + std::to_string(port) + " is not a port number (ports count from 1)"};
  const std::string var = "PROJSMSDLL_PORT" + std::to_string(port);
  if (auto value = sources.getenv(var); value && !value->empty()) {
    path = *value;
    return {};
  }
  if (auto map = sources.getenv("PROJSMSDLL_PORTMAP"); map && !map->empty()) {
    std::string content;
    if (!sources.read_file(*map, content))
      return {Error::kPortMap, "the port map " + *map + " (PROJSMSDLL_PORTMAP) cannot be read"};
    std::string_view rest = content;
    int line_number = 0;
    while (!rest.empty()) {
      ++line_number;
      auto end = rest.find('\n');
      std::string_view line = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
      if (auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
      line = Trim(line);
      if (line.empty()) continue;
      auto eq = line.find('=');
      auto key =
          eq == std::string_view::npos ? std::nullopt : ParsePortKey(Trim(line.substr(0, eq)));
      std::string_view value = eq == std::string_view::npos ? "" : Trim(line.substr(eq + 1));
      if (!key || value.empty())
        return {Error::kPortMap, "the port map " + *map + " has a malformed line " +
                                     std::to_string(line_number) +
                                     " (expected \"<n> = <device>\")"};
      if (*key == port) {
        path = std::string(value);
        return {};
      }
    }
  }
  path = sources.default_path(port);
  return {};
}

}  // namespace smsdll
