// A Windows client of ProjSmsDLL.dll that binds the five entries by name
// (LoadLibrary/GetProcAddress), as the application's runtime does. The
// Offline tests need no modem; the Modem tests need the simulated modem
// behind port MOBI_TEST_PORT (wine_modem_test.sh provides it).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "ProjSmsDLL.h"

namespace {

const std::string kNiHao = "\xC4\xE3\xBA\xC3";  // 你好 in GBK

struct OutText {
  char bytes[PROJSMSDLL_TEXT_BYTES + 1 + 32];
  OutText() {
    std::memset(bytes, ' ', PROJSMSDLL_TEXT_BYTES);
    bytes[PROJSMSDLL_TEXT_BYTES] = '\0';
    std::memset(bytes + PROJSMSDLL_TEXT_BYTES + 1, 'G', 32);
  }
  std::string text() const { return bytes; }
  bool guard_intact() const {
    return std::string(bytes + PROJSMSDLL_TEXT_BYTES + 1, 32) == std::string(32, 'G');
  }
};

struct Dll {
  HMODULE module = LoadLibraryA("ProjSmsDLL.dll");
  template <typename F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  hs_open_device_fn open = Get<hs_open_device_fn>("hs_open_device");
  hs_close_device_fn close = Get<hs_close_device_fn>("hs_close_device");
  hs_get_onemessage_fn get = Get<hs_get_onemessage_fn>("hs_get_onemessage");
  hs_send_onemessage_fn send = Get<hs_send_onemessage_fn>("hs_send_onemessage");
  DLLFormShow_fn form = Get<DLLFormShow_fn>("DLLFormShow");
};

const Dll& Library() {
  static const Dll dll;
  return dll;
}

TEST(Offline, TheFiveEntriesAreExportedUnderTheirPlainNames) {
  const Dll& dll = Library();
  ASSERT_NE(dll.module, nullptr) << "LoadLibrary failed: " << GetLastError();
  EXPECT_NE(dll.open, nullptr);
  EXPECT_NE(dll.close, nullptr);
  EXPECT_NE(dll.get, nullptr);
  EXPECT_NE(dll.send, nullptr);
  EXPECT_NE(dll.form, nullptr);
  EXPECT_EQ(GetProcAddress(dll.module, "_hs_open_device@24"), nullptr);
  EXPECT_EQ(GetProcAddress(dll.module, "hs_open_device@24"), nullptr);
}

TEST(Offline, MissingPortAndMissingDeviceAreErrorsNamingTheCause) {
  const Dll& dll = Library();
  ASSERT_NE(dll.open, nullptr);
  OutText err;
  int32_t handle = 77;
  EXPECT_EQ(dll.open(0, 250, 9600, "8613800290500", &handle, err.bytes), 0);
  EXPECT_TRUE(err.text().starts_with("error 2: port 250 (\\\\.\\COM250): cannot be opened: "))
      << err.text();
  EXPECT_EQ(handle, 77);
  EXPECT_TRUE(err.guard_intact());
  EXPECT_EQ(dll.close(250, 0, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 8: no device is open (handle 0)");
  OutText a, b, c, d;
  EXPECT_EQ(dll.get(a.bytes, b.bytes, c.bytes, d.bytes, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 8: no device is open: open one first");
}

TEST(Offline, PortMappedToADeviceThatIsNoSerialPort) {
  const Dll& dll = Library();
  ASSERT_NE(dll.open, nullptr);
  SetEnvironmentVariableA("PROJSMSDLL_PORT8", "NUL");
  _putenv("PROJSMSDLL_PORT8=NUL");
  OutText err;
  int32_t handle = 0;
  EXPECT_EQ(dll.open(0, 8, 9600, "", &handle, err.bytes), 0);
  EXPECT_TRUE(err.text().starts_with("error 3: port 8 (NUL): is not a serial device"))
      << err.text();
}

TEST(Offline, FormShowLeavesItsArgumentAlone) {
  static const char kEmpty[] = "";  // read-only memory
  ASSERT_NE(Library().form, nullptr);
  EXPECT_EQ(Library().form(const_cast<char*>(kEmpty)), 1);
}

class Modem : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* port = std::getenv("MOBI_TEST_PORT");
    ASSERT_NE(port, nullptr) << "MOBI_TEST_PORT names the simulated modem's port";
    port_ = std::atoi(port);
    ASSERT_NE(Library().open, nullptr);
  }
  int32_t port_ = 0;
};

TEST_F(Modem, OpenSendFetchCloseThroughTheComPort) {
  const Dll& dll = Library();
  OutText err;
  int32_t handle = 0;
  ASSERT_EQ(dll.open(0, port_, 115200, "8613800290500", &handle, err.bytes), 1) << err.text();
  EXPECT_EQ(err.text(), "");
  EXPECT_NE(handle, 0);

  EXPECT_EQ(dll.send("8613800290500", "hello from Windows", "10086", 1, err.bytes), 1)
      << err.text();
  EXPECT_EQ(dll.send("", (kNiHao + "!").c_str(), "+8613912345678", 1, err.bytes), 1) << err.text();

  OutText text, sent, fetched, sender;
  ASSERT_EQ(dll.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
      << err.text();
  EXPECT_EQ(text.text(), kNiHao + ", \xCA\xC0\xBD\xE7");  // 你好, 世界
  EXPECT_EQ(sent.text(), "2026-12-08 19:10:00 +08:00");
  EXPECT_EQ(fetched.text().size(), 19u);
  EXPECT_EQ(sender.text(), "+8613912345678");
  // A long message goes in two parts and comes back whole.
  std::string long_text;
  for (int i = 0; i < 25; ++i) long_text += "Windows ";
  EXPECT_EQ(dll.send("", long_text.c_str(), "10086", 1, err.bytes), 1) << err.text();
  ASSERT_EQ(dll.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
      << err.text();
  EXPECT_EQ(text.text(), long_text);
  EXPECT_EQ(dll.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 12: no received message is stored in the modem");

  EXPECT_EQ(dll.close(port_, handle + 1, err.bytes), 0);
  EXPECT_TRUE(err.text().starts_with("error 9: ")) << err.text();
  EXPECT_EQ(dll.close(port_, handle, err.bytes), 1) << err.text();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
