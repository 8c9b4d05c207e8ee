// Sends one SMS through the component to the terminal on the device given,
// then asks for its check text: "check=<text> send=<status>".
#include <mobi/clsSMS.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer DEVICE\n");
    return 2;
  }
  try {
    mobi::SetPortDevice(1, argv[1]);
    mobi::clsSMS sms;
    sms.Initialize(1, u"9600,n,8,1");
    const std::u16string check = sms.MobiCheck();
    const mobi::enuStatus_Type status = sms.SendSMS(u"13800138000", u"hello");
    std::printf("check=%s send=%d\n", std::string(check.begin(), check.end()).c_str(),
                static_cast<int>(status));
    return 0;
  } catch (const mobi::Error& e) {
    std::fprintf(stderr, "consumer: error %d: %s\n", e.number(), e.what());
    return 1;
  }
}
