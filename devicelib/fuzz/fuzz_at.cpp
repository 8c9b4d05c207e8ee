// Arbitrary bytes on the serial line, both ways:
//  - as the modem's answers to the driver (start, send plain and Chinese,
//    fetch): every operation ends with a status in virtual time, and the
//    texts it returns fit the application's buffers once cut;
//  - as a hex PDU, read as sent or as received: whatever decodes and encodes
//    again decodes to the same number and text.
// The first byte chooses the direction; 0x00 bytes separate the answers.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "device_library.h"
#include "fakes.h"
#include "pdu.h"
#include "platform/system.h"

namespace {

void DriveTheDriver(std::string_view input) {
  using namespace smsdll;
  testing::VirtualClock clock;
  auto line = std::make_unique<testing::ScriptedLine>(clock, [&](const std::string&) {
    std::vector<std::string> chunks;
    if (input.empty()) return chunks;
    auto end = input.find('\0');
    chunks.emplace_back(input.substr(0, end));
    input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
    return chunks;
  });
  static const auto codec = platform::MakeCodec();
  Modem modem(std::move(line), clock, *codec);
  (void)modem.Start("+8613800290500");
  (void)modem.Send("", "hello", "10086", 1);
  (void)modem.Send("8613800290500", "\xC4\xE3\xBA\xC3", "+8613912345678", 1);
  FetchedMessage m;
  (void)modem.Fetch(m);
  char buffer[kOutTextBytes + 1];
  for (const std::string* text : {&m.text, &m.sender, &m.sent_time, &m.fetched_time}) {
    CopyOut(buffer, *text);
    if (std::strlen(buffer) > kOutTextBytes) __builtin_trap();
  }
}

void DecodeAPdu(std::string_view input, bool from_modem) {
  using namespace smsdll::pdu;
  Message m;
  std::string why;
  if (!Decode(input, from_modem, m, why)) return;
  Encoded e;
  if (!Encode(m, e, why)) return;
  Message again;
  if (!Decode(e.hex, from_modem, again, why) || again.number != m.number || again.text != m.text ||
      again.data != m.data)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 3 == 0)
    DriveTheDriver(input);
  else
    DecodeAPdu(input, data[0] % 3 == 1);
  return 0;
}
