#include "device_library.h"

#include <cstring>

#include "text.h"

namespace smsdll {

void CopyOut(char* buffer, std::string_view text) {
  if (buffer == nullptr) return;
  std::size_t n = GbkPrefixLength(text, kOutTextBytes);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

DeviceLibrary::DeviceLibrary(PortOpener& ports, Clock& clock, Codec& codec, ModemTimeouts timeouts)
    : ports_(ports), clock_(clock), codec_(codec), timeouts_(timeouts) {}

Status DeviceLibrary::Note(Status s) {
  std::lock_guard lock(mutex_);
  last_error_ = s.Describe();
  return s;
}

int32_t DeviceLibrary::window() const {
  std::lock_guard lock(mutex_);
  return window_;
}

Status DeviceLibrary::Open(int32_t window, int32_t port, int32_t baud, std::string_view csca,
                           int32_t& handle) {
  std::lock_guard lock(mutex_);
  device_.reset();  // closes the port of an earlier open
  if (baud <= 0)
    return {Error::kInvalidArgument, "speed " + std::to_string(baud) + " is not a baud rate"};
  std::string path;
  if (Status s = ports_.Resolve(port, path); !s.ok()) return s;
  std::unique_ptr<SerialPort> line;
  if (Status s = ports_.Open(path, baud, line); !s.ok())
    return {s.error(), "port " + std::to_string(port) + " (" + path + "): " + s.text()};
  auto modem = std::make_unique<Modem>(std::move(line), clock_, codec_, timeouts_);
  if (Status s = modem->Start(csca); !s.ok())
    return {s.error(), "port " + std::to_string(port) + " (" + path + "): " + s.text()};
  // Handles count up and skip 0, so a handle of an earlier open never
  // matches the device open now.
  last_handle_ = last_handle_ == INT32_MAX ? 1 : last_handle_ + 1;
  device_ = OpenDevice{last_handle_, port, baud, path, std::move(modem)};
  window_ = window;
  handle = last_handle_;
  return {};
}

Status DeviceLibrary::Close(int32_t port, int32_t handle) {
  std::lock_guard lock(mutex_);
  if (!device_)
    return {Error::kNotOpen, "no device is open (handle " + std::to_string(handle) + ")"};
  if (handle != device_->handle)
    return {Error::kWrongHandle, "handle " + std::to_string(handle) +
                                     " is not the open device's (port " +
                                     std::to_string(device_->port) + ")"};
  if (port != device_->port)
    return {Error::kInvalidArgument, "port " + std::to_string(port) +
                                         " is not the open device's port " +
                                         std::to_string(device_->port)};
  device_.reset();
  return {};
}

Status DeviceLibrary::Send(std::string_view csca, std::string_view text, std::string_view number,
                           int32_t mode) {
  std::lock_guard lock(mutex_);
  if (!device_) return {Error::kNotOpen, "no device is open: open one first"};
  return device_->modem->Send(csca, text, number, mode);
}

Status DeviceLibrary::Fetch(FetchedMessage& out) {
  std::lock_guard lock(mutex_);
  out = FetchedMessage{};
  if (!device_) return {Error::kNotOpen, "no device is open: open one first"};
  return device_->modem->Fetch(out);
}

std::string DeviceLibrary::Describe() {
  std::lock_guard lock(mutex_);
  std::string text = "ProjSmsDLL (GSM modem through AT commands)\n";
  if (device_) {
    text += "Device: open, handle " + std::to_string(device_->handle) + ", port " +
            std::to_string(device_->port) + " (" + device_->path + "), " +
            std::to_string(device_->baud) + " bit/s\n";
    const auto& modem = *device_->modem;
    text +=
        "Modem: " + (modem.identity().empty() ? std::string("unknown") : modem.identity()) + "\n";
    text += "Service centre: " +
            (modem.service_centre().empty() ? std::string("as stored in the modem")
                                            : modem.service_centre()) +
            "\n";
  } else {
    text += "Device: none open\n";
  }
  text += "Last call: " + (last_error_.empty() ? std::string("succeeded") : last_error_) + "\n";
  return text;
}

}  // namespace smsdll
