// The substitute device library with one fault planted, for the bench's own
// tests: its parts (core and platform layer) behind entries of this file.
// QUALIFY_FAULT selects the fault:
//   resend     sends every accepted message a second time
//   choke      takes an unsolicited line (RING, +CMTI, ^RSSI) for "ERROR"
//   overrun    writes its error text past the 500-byte buffer on a failure
//   crash      dies on every fetch
#include <cstring>
#include <memory>
#include <string>

#include "ProjSmsDLL.h"
#include "device_library.h"
#include "platform/system.h"

namespace {

using smsdll::Status;

#define QUALIFY_IS(name) (std::strcmp(QUALIFY_FAULT, #name) == 0)

// A line that reads every unsolicited line as ERROR.
class ChokingPort final : public smsdll::SerialPort {
 public:
  explicit ChokingPort(std::unique_ptr<smsdll::SerialPort> inner) : inner_(std::move(inner)) {}
  Status Write(std::string_view data, smsdll::Millis timeout) override {
    return inner_->Write(data, timeout);
  }
  Status Read(std::string& out, smsdll::Millis timeout) override {
    std::string got;
    Status s = inner_->Read(got, timeout);
    for (const char* u : {"RING", "+CMTI:", "^RSSI:"}) {
      for (auto at = got.find(u); at != std::string::npos; at = got.find(u, at + 1)) {
        auto end = got.find('\r', at);
        got.replace(at, end == std::string::npos ? std::string::npos : end - at, "ERROR");
      }
    }
    out += got;
    return s;
  }

 private:
  std::unique_ptr<smsdll::SerialPort> inner_;
};

class ChokingOpener final : public smsdll::PortOpener {
 public:
  explicit ChokingOpener(std::unique_ptr<smsdll::PortOpener> inner) : inner_(std::move(inner)) {}
  Status Resolve(int32_t port, std::string& path) override { return inner_->Resolve(port, path); }
  Status Open(const std::string& path, int32_t baud,
              std::unique_ptr<smsdll::SerialPort>& port) override {
    Status s = inner_->Open(path, baud, port);
    if (s.ok() && QUALIFY_IS(choke)) port = std::make_unique<ChokingPort>(std::move(port));
    return s;
  }

 private:
  std::unique_ptr<smsdll::PortOpener> inner_;
};

smsdll::DeviceLibrary& Library() {
  static ChokingOpener ports(smsdll::platform::MakePortOpener());
  static const auto clock = smsdll::platform::MakeClock();
  static const auto codec = smsdll::platform::MakeCodec();
  static smsdll::DeviceLibrary library(ports, *clock, *codec);
  return library;
}

int32_t Finish(const Status& s, char* error) {
  std::string text = s.Describe();
  if (!s.ok() && QUALIFY_IS(overrun) && error) {
    text.resize(520, '!');  // not cut to the buffer's 500 bytes
    std::memcpy(error, text.c_str(), text.size() + 1);
  } else {
    smsdll::CopyOut(error, text);
  }
  return s.ok() ? 1 : 0;
}

}  // namespace

extern "C" {

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_open_device(int32_t ahandle, int32_t comport,
                                                      int32_t icb_baud, const char* csca,
                                                      int32_t* dllhandle, char* errorstring) {
  return Finish(Library().Open(ahandle, comport, icb_baud, csca, *dllhandle), errorstring);
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_close_device(int32_t comport, int32_t dllhandle,
                                                       char* err) {
  return Finish(Library().Close(comport, dllhandle), err);
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_get_onemessage(char* messages, char* sdatetimes,
                                                         char* rdatetimes, char* phonenumber,
                                                         char* errorstring) {
  if (QUALIFY_IS(crash)) {
    volatile char* nowhere = nullptr;
    *nowhere = 1;
  }
  smsdll::FetchedMessage m;
  Status s = Library().Fetch(m);
  smsdll::CopyOut(messages, m.text);
  smsdll::CopyOut(sdatetimes, m.sent_time);
  smsdll::CopyOut(rdatetimes, m.fetched_time);
  smsdll::CopyOut(phonenumber, m.sender);
  return Finish(s, errorstring);
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_send_onemessage(const char* csca, const char* messages,
                                                          const char* phonenumber, int32_t mode,
                                                          char* errorstring) {
  Status s = Library().Send(csca, messages, phonenumber, mode);
  if (s.ok() && QUALIFY_IS(resend)) s = Library().Send(csca, messages, phonenumber, mode);
  return Finish(s, errorstring);
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL DLLFormShow(char*) {
  return 1;
}

}  // extern "C"
