// The five exported entries: argument checks, the by-reference buffers and
// no exception ever crossing into the caller.
#include <exception>
#include <string_view>

#include "ProjSmsDLL.h"
#include "device_library.h"
#include "platform/system.h"

namespace {

using smsdll::CopyOut;
using smsdll::Error;
using smsdll::Status;

std::string_view Text(const char* s) {
  return s == nullptr ? std::string_view{} : s;
}

int32_t Finish(const Status& status, char* error_text) {
  CopyOut(error_text, smsdll::platform::Library().Note(status).Describe());
  return status.ok() ? 1 : 0;
}

template <typename Body>
int32_t Guarded(char* error_text, Body body) {
  try {
    return Finish(body(), error_text);
  } catch (const std::exception& e) {
    CopyOut(error_text, std::string("error 99: internal failure: ") + e.what());
  } catch (...) {
    CopyOut(error_text, "error 99: internal failure");
  }
  return 0;
}

}  // namespace

extern "C" {

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_open_device(int32_t ahandle, int32_t comport,
                                                      int32_t icb_baud, const char* csca,
                                                      int32_t* dllhandle, char* errorstring) {
  return Guarded(errorstring, [&]() -> Status {
    if (dllhandle == nullptr) return {Error::kInvalidArgument, "no cell for the device handle"};
    return smsdll::platform::Library().Open(ahandle, comport, icb_baud, Text(csca), *dllhandle);
  });
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_close_device(int32_t comport, int32_t dllhandle,
                                                       char* err) {
  return Guarded(err, [&] { return smsdll::platform::Library().Close(comport, dllhandle); });
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_get_onemessage(char* messages, char* sdatetimes,
                                                         char* rdatetimes, char* phonenumber,
                                                         char* errorstring) {
  return Guarded(errorstring, [&] {
    smsdll::FetchedMessage message;
    Status s = smsdll::platform::Library().Fetch(message);
    CopyOut(messages, message.text);
    CopyOut(sdatetimes, message.sent_time);
    CopyOut(rdatetimes, message.fetched_time);
    CopyOut(phonenumber, message.sender);
    return s;
  });
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_send_onemessage(const char* csca, const char* messages,
                                                          const char* phonenumber, int32_t mode,
                                                          char* errorstring) {
  return Guarded(errorstring, [&] {
    return smsdll::platform::Library().Send(Text(csca), Text(messages), Text(phonenumber), mode);
  });
}

PROJSMSDLL_API int32_t PROJSMSDLL_CALL DLLFormShow(char* /*l_err: never written*/) {
  try {
    auto& library = smsdll::platform::Library();
    return smsdll::platform::ShowForm(library.Describe(), library.window()) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
