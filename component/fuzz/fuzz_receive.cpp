// Fuzzes the receive path: any sequence of reply chunks, arriving during any
// command, keeps the component consistent. The input is a list of chunks,
// each a length byte followed by that many bytes; the first byte picks the
// command that is waiting and whether an SMSError handler nests a call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/frmSMS.h"
#include "core/modMain.h"
#include "fake_host.h"
#include "mobi/clsSMS.h"

using namespace mobi;
using namespace mobi::test;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FakeHost& host = Host();
  host.Reset();
  const uint8_t mode = data[0];
  std::vector<ByteArray> chunks;
  for (size_t i = 1; i < size;) {
    const size_t length = data[i++];
    const size_t take = std::min(length, size - i);
    chunks.emplace_back(data + i, data + i + take);
    i += take;
  }
  {
    clsSMS sms;
    sms.Initialize(1, u"9600,n,8,1");
    int nested = 0;
    if (mode & 0x10) {
      sms.SubscribeSMSError([&](const std::u16string&) {
        if (nested++ < 3) sms.MobiCheck();
      });
    }
    host.terminal = [&](const ByteArray&) {
      int64_t at = 1;
      for (auto& chunk : chunks) host.Reply(std::chrono::milliseconds(at += 7), chunk);
      chunks.clear();
    };
    try {
      switch (mode & 0x07) {
        case 0: {
          const int32_t status = sms.SendSMS(u"12345", u"hi");
          Check(status == core::frmSMS::Current()->state()->lngStatus);
          Check(status >= 2 && status <= 6);
          break;
        }
        case 1:
          sms.MobiCheck();
          break;
        case 2:
          sms.SetMobiCode(u"8613800290500");
          break;
        case 3:
          sms.MobiSignal();
          break;
        default:
          sms.ATSend(u"AT");
          DoEvents();
          break;
      }
    } catch (const Error& e) {
      // Only an oversized reply text (6) or a signal reply outside 16 bits
      // (6) may fail a call here.
      Check(e.number() == 6);
    }
    Check(host.Elapsed() <= std::chrono::seconds(60));
  }
  Check(host.openPorts == 0);
  return 0;
}
