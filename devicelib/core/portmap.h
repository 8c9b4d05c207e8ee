// How a port number becomes a device path, without changing code:
//   1. the environment variable PROJSMSDLL_PORT<n> (PROJSMSDLL_PORT4=/dev/pts/3);
//   2. else a line "<n> = <path>" (or "COM<n> = <path>") in the file that
//      PROJSMSDLL_PORTMAP names; '#' starts a comment;
//   3. else the platform's default for n (/dev/ttyS<n-1>, \\.\COM<n>).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "status.h"

namespace smsdll {

struct PortMapSources {
  // The value of an environment variable, nullopt when unset.
  std::function<std::optional<std::string>(const std::string& name)> getenv;
  // The content of a file; false when it cannot be read.
  std::function<bool(const std::string& path, std::string& content)> read_file;
  // The platform's device for port n.
  std::function<std::string(int32_t port)> default_path;
};

Status ResolvePortPath(int32_t port, const PortMapSources& sources, std::string& path);

}  // namespace smsdll
