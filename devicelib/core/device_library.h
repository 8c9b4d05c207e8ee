// The state of the device library between calls: at most one open modem,
// its handle, port and speed, and the last error. The exported entries are
// thin wrappers around one instance of this class.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "modem.h"
#include "platform.h"

namespace smsdll {

// Room in every text buffer the application passes by reference: 500 bytes
// and the terminating NUL.
inline constexpr std::size_t kOutTextBytes = 500;

// Copies text into a by-reference buffer: at most kOutTextBytes bytes, cut on
// a GBK character boundary, then the NUL. A null buffer is left alone.
void CopyOut(char* buffer, std::string_view text);

class DeviceLibrary {
 public:
  DeviceLibrary(PortOpener& ports, Clock& clock, Codec& codec, ModemTimeouts timeouts = {});

  // Opens port at baud and starts the modem. A device that is already open
  // is closed first (the application may have lost its handle with its
  // window). On success handle is the new device's handle.
  Status Open(int32_t window, int32_t port, int32_t baud, std::string_view csca, int32_t& handle);
  Status Close(int32_t port, int32_t handle);
  Status Send(std::string_view csca, std::string_view text, std::string_view number, int32_t mode);
  Status Fetch(FetchedMessage& out);

  // A few lines about the library and the open device, for its form.
  std::string Describe();
  // The window handle given to the last successful open (owner of the form).
  int32_t window() const;

  // Remembers the outcome of a call for the form and returns it.
  Status Note(Status s);

 private:
  struct OpenDevice {
    int32_t handle;
    int32_t port;
    int32_t baud;
    std::string path;
    std::unique_ptr<Modem> modem;
  };

  PortOpener& ports_;
  Clock& clock_;
  Codec& codec_;
  ModemTimeouts timeouts_;
  mutable std::mutex mutex_;
  std::optional<OpenDevice> device_;
  int32_t window_ = 0;
  int32_t last_handle_ = 0;
  std::string last_error_;
};

}  // namespace smsdll
