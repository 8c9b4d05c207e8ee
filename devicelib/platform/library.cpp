#include <cstdlib>
#include <fstream>
#include <sstream>

#include "system.h"

namespace smsdll::platform {

PortMapSources ProcessPortMapSources(std::function<std::string(int32_t)> default_path) {
  return {[](const std::string& name) -> std::optional<std::string> {
            const char* v = std::getenv(name.c_str());
            return v ? std::optional<std::string>(v) : std::nullopt;
          },
          [](const std::string& file, std::string& content) {
            std::ifstream in(file, std::ios::binary);
            if (!in) return false;
            std::ostringstream all;
            all << in.rdbuf();
            content = all.str();
            return true;
          },
          std::move(default_path)};
}

DeviceLibrary& Library() {
  static const auto ports = MakePortOpener();
  static const auto clock = MakeClock();
  static const auto codec = MakeCodec();
  static DeviceLibrary library(*ports, *clock, *codec);
  return library;
}

}  // namespace smsdll::platform
