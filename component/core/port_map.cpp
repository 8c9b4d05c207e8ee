// Port numbers mapped to device paths by mobi::SetPortDevice.
#include <map>
#include <string>

#include "core/platform.h"
#include "mobi/clsSMS.h"

namespace mobi {
namespace {

std::map<int, std::string>& PortMap() {
  static std::map<int, std::string> map;
  return map;
}

}  // namespace

void SetPortDevice(int port, std::string path) {
  if (path.empty()) {
    PortMap().erase(port);
  } else {
    PortMap()[port] = std::move(path);
  }
}

std::string core::MappedPortDevice(int port) {
  auto it = PortMap().find(port);
  return it == PortMap().end() ? std::string() : it->second;
}

}  // namespace mobi
