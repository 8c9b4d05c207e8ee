// The C interface (mobi/mobi.h) over clsSMS: UTF-8 at the edge, UTF-16
// inside, C++ exceptions turned into error numbers before they reach C.
#include "mobi/mobi.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "mobi/clsSMS.h"
#include "mobi/errors.h"
#include "mobi/events.h"
#include "mobi/version.h"

struct mobi_sms {
  mobi::clsSMS object;
};

namespace {

// Generalised UTF-8: a surrogate is written like any other code point unless
// it pairs with the next unit, so every UTF-16 text has one form and reads
// back as itself.
std::string ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The other way; a byte that starts no character, or a character cut short,
// is an error (invalid property value), so nothing is sent that was not meant.
std::u16string FromUtf8(const char* text, const char* what) {
  if (!text) throw mobi::Error(mobi::kInvalidPropertyValue, std::string(what) + " is NULL");
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    const int extra = *p < 0x80   ? 0
                      : *p < 0xC2 ? -1
                      : *p < 0xE0 ? 1
                      : *p < 0xF0 ? 2
                      : *p < 0xF5 ? 3
                                  : -1;
    bool bad = extra < 0;
    char32_t c = extra == 0 ? *p : extra == 1 ? *p & 0x1F : extra == 2 ? *p & 0x0F : *p & 0x07;
    const auto* start = p++;
    for (int k = 0; k < extra && !bad; ++k, ++p) {
      bad = (*p & 0xC0) != 0x80;
      c = c << 6 | (*p & 0x3F);
    }
    const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    if (bad || overlong || c > 0x10FFFF)
      throw mobi::Error(mobi::kInvalidPropertyValue,
                        std::string(what) + " is not UTF-8 (at byte " +
                            std::to_string(start - reinterpret_cast<const unsigned char*>(text)) +
                            ")");
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

char* Copy(const std::string& text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (!out) throw std::bad_alloc();
  std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

int32_t Fail(mobi_error* error, int32_t number, const std::string& description) {
  if (error) {
    error->number = number;
    std::size_t n = std::min(description.size(), sizeof error->description - 1);
    // Cut at a whole character.
    while (n > 0 && n < description.size() && (description[n] & 0xC0) == 0x80) --n;
    std::memcpy(error->description, description.data(), n);
    error->description[n] = '\0';
  }
  return number;
}

// Runs a call; what it throws becomes an error number.
template <typename Call>
int32_t Guard(mobi_error* error, Call&& call) {
  try {
    call();
    if (error) *error = mobi_error{};
    return 0;
  } catch (const mobi::Error& e) {
    return Fail(error, e.number(), e.description());
  } catch (const std::bad_alloc&) {
    return Fail(error, mobi::kOutOfMemory, mobi::StandardText(mobi::kOutOfMemory));
  } catch (const std::exception& e) {
    return Fail(error, mobi::kInternalError, e.what());
  } catch (...) {
    return Fail(error, mobi::kInternalError, mobi::StandardText(mobi::kInternalError));
  }
}

int32_t NoObject(mobi_error* error) {
  return Fail(error, mobi::kInvalidPropertyValue, "the object is NULL");
}

// A subscription of a C handler: `subscribe` makes it on the object and
// returns its number.
template <typename Handler, typename Subscribe>
int32_t SubscribeC(mobi_sms* sms, Handler handler, uint64_t* subscription, mobi_error* error,
                   Subscribe subscribe) {
  if (!sms) return NoObject(error);
  if (!handler) return Fail(error, mobi::kInvalidPropertyValue, "the handler is NULL");
  return Guard(error, [&] {
    const auto id = subscribe(sms->object);
    if (subscription) *subscription = id;
  });
}

}  // namespace

extern "C" {

const char* mobi_version(void) {
  return MOBI_VERSION_STRING;
}

void mobi_free(char* text) {
  std::free(text);
}

mobi_sms* mobi_sms_new(mobi_error* error) {
  mobi_sms* sms = nullptr;
  Guard(error, [&] { sms = new mobi_sms{}; });
  return sms;
}

void mobi_sms_free(mobi_sms* sms) {
  delete sms;
}

int32_t mobi_sms_initialize(mobi_sms* sms, int16_t port, const char* settings, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] { sms->object.Initialize(port, FromUtf8(settings, "the settings")); });
}

int32_t mobi_sms_check(mobi_sms* sms, char** text, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] {
    const std::string check = ToUtf8(sms->object.MobiCheck());
    if (text) *text = Copy(check);
  });
}

int32_t mobi_sms_set_code(mobi_sms* sms, const char* centre, int* accepted, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] {
    const bool ok = sms->object.SetMobiCode(FromUtf8(centre, "the centre number"));
    if (accepted) *accepted = ok ? 1 : 0;
  });
}

int32_t mobi_sms_reset(mobi_sms* sms, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] { sms->object.MobiReset(); });
}

int32_t mobi_sms_send(mobi_sms* sms, const char* tel, const char* data, int32_t* status,
                      mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] {
    const auto result =
        sms->object.SendSMS(FromUtf8(tel, "the number"), FromUtf8(data, "the text"));
    if (status) *status = result;
  });
}

int32_t mobi_sms_signal(mobi_sms* sms, int16_t* level, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] {
    const int16_t result = sms->object.MobiSignal();
    if (level) *level = result;
  });
}

int32_t mobi_sms_at_send(mobi_sms* sms, const char* command, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] { sms->object.ATSend(FromUtf8(command, "the command")); });
}

int32_t mobi_sms_subscribe_error(mobi_sms* sms, mobi_sms_error_handler handler, void* user,
                                 uint64_t* subscription, mobi_error* error) {
  return SubscribeC(sms, handler, subscription, error, [&](mobi::clsSMS& object) {
    return object.SubscribeSMSError(
        [handler, user](const std::u16string& text) { handler(ToUtf8(text).c_str(), user); });
  });
}

int32_t mobi_sms_unsubscribe_error(mobi_sms* sms, uint64_t subscription, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] { sms->object.UnsubscribeSMSError(subscription); });
}

int32_t mobi_sms_subscribe_report(mobi_sms* sms, mobi_sms_report_handler handler, void* user,
                                  uint64_t* subscription, mobi_error* error) {
  return SubscribeC(sms, handler, subscription, error, [&](mobi::clsSMS& object) {
    return object.SubscribeDeliveryReport(
        [handler, user](const std::u16string& destination, mobi::enuStatus_Type status) {
          handler(ToUtf8(destination).c_str(), status, user);
        });
  });
}

int32_t mobi_sms_unsubscribe_report(mobi_sms* sms, uint64_t subscription, mobi_error* error) {
  if (!sms) return NoObject(error);
  return Guard(error, [&] { sms->object.UnsubscribeDeliveryReport(subscription); });
}

int32_t mobi_set_port_device(int port, const char* path, mobi_error* error) {
  return Guard(error, [&] {
    if (!path) throw mobi::Error(mobi::kInvalidPropertyValue, "the path is NULL");
    mobi::SetPortDevice(port, path);
  });
}

int32_t mobi_do_events(mobi_error* error) {
  return Guard(error, [] { mobi::DoEvents(); });
}

int mobi_event_fd(void) {
  return mobi::EventFd();
}

const char* mobi_error_text(int32_t number) {
  return mobi::StandardText(number);
}

}  // extern "C"
