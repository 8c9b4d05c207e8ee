// Arbitrary bytes from a client on the simulated modem's line: it answers
// whatever comes without failing, in every scenario of the zoo (the first
// byte chooses one) and with its clock run past everything it scheduled.
#include <cstdint>
#include <string_view>

#include "scenarios.h"
#include "simulated_modem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto& zoo = atmodem::Scenarios();
  atmodem::Modem modem;
  modem.AddInbox("+8613912345678", u"\u4F60\u597D", "26/12/08,19:10:00+32");
  zoo[data[0] % zoo.size()].setup(modem);
  modem.Receive(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  modem.AdvanceTo(1e6);
  (void)modem.TakeOutput();
  return 0;
}
