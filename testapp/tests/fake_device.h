// A recording fake of the device library, bound through the runtime's
// outside-function mechanism like the real one: the five entries of
// "ProjSmsDLL.dll" with their C signatures, recording every call and writing
// what the test asks for.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "rt/binder.h"

namespace mobiapp::testing {

struct Call {
  std::string entry;
  std::vector<std::string> args;  // longs in decimal, texts as their bytes
};

struct FakeDevice {
  std::vector<Call> calls;
  bool result = true;
  std::optional<std::int32_t> handle;  // written through dllhandle when set
  std::optional<std::string> err;      // written into the error text when set
  std::optional<std::string> message, sent_at, received_at, sender;
  std::optional<std::string> form_writes;  // DLLFormShow writes this into its text
  bool library_missing = false;
  std::set<std::string> entries_missing;
};

// The fake library's state: one fake library per process, like a real one.
inline FakeDevice* g_device = nullptr;

inline void write(char* buf, const std::optional<std::string>& s) {
  if (s) std::memcpy(buf, s->c_str(), s->size() + 1);
}

extern "C" {
inline int fake_hs_open_device(std::int32_t ahandle, std::int32_t comport, std::int32_t baud,
                               const char* csca, std::int32_t* dllhandle, char* err) {
  g_device->calls.push_back({"hs_open_device",
                             {std::to_string(ahandle), std::to_string(comport),
                              std::to_string(baud), csca, std::to_string(*dllhandle), err}});
  if (g_device->handle) *dllhandle = *g_device->handle;
  write(err, g_device->err);
  return g_device->result;
}
inline int fake_hs_close_device(std::int32_t comport, std::int32_t dllhandle, char* err) {
  g_device->calls.push_back(
      {"hs_close_device", {std::to_string(comport), std::to_string(dllhandle), err}});
  write(err, g_device->err);
  return g_device->result;
}
inline int fake_hs_get_onemessage(char* message, char* sent, char* received, char* sender,
                                  char* err) {
  g_device->calls.push_back({"hs_get_onemessage", {message, sent, received, sender, err}});
  write(message, g_device->message);
  write(sent, g_device->sent_at);
  write(received, g_device->received_at);
  write(sender, g_device->sender);
  write(err, g_device->err);
  return g_device->result;
}
inline int fake_hs_send_onemessage(const char* csca, const char* message, const char* phone,
                                   std::int32_t mode, char* err) {
  g_device->calls.push_back(
      {"hs_send_onemessage", {csca, message, phone, std::to_string(mode), err}});
  write(err, g_device->err);
  return g_device->result;
}
inline int fake_DLLFormShow(char* err) {
  g_device->calls.push_back({"DLLFormShow", {err}});
  write(err, g_device->form_writes);
  return g_device->result;
}
}

class FakeBinder final : public rt::LibraryBinder {
 public:
  explicit FakeBinder(FakeDevice& device) { g_device = &device; }
  ~FakeBinder() override { g_device = nullptr; }

  rt::Binding bind(std::string_view file, std::string_view entry) override {
    rt::Binding b;
    if (file != "ProjSmsDLL.dll" || g_device->library_missing) {
      b.error = rt::ErrorCode::LibraryNotFound;
      b.detail = std::string(file) + ": not found";
      return b;
    }
    if (!g_device->entries_missing.count(std::string(entry))) {
      if (entry == "hs_open_device") b.entry = reinterpret_cast<void*>(&fake_hs_open_device);
      if (entry == "hs_close_device") b.entry = reinterpret_cast<void*>(&fake_hs_close_device);
      if (entry == "hs_get_onemessage") b.entry = reinterpret_cast<void*>(&fake_hs_get_onemessage);
      if (entry == "hs_send_onemessage") {
        b.entry = reinterpret_cast<void*>(&fake_hs_send_onemessage);
      }
      if (entry == "DLLFormShow") b.entry = reinterpret_cast<void*>(&fake_DLLFormShow);
    }
    if (!b.entry) b.detail = std::string(file) + " has no entry " + std::string(entry);
    return b;
  }
};

}  // namespace mobiapp::testing
