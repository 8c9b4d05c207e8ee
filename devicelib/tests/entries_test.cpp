// The five entries of the built library, bound by name like the application
// binds them, against the simulated modem on a real pseudo-terminal.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ProjSmsDLL.h"
#include "pty_server.h"

namespace {

const std::string kNiHao = "\xC4\xE3\xBA\xC3";  // 你好 in GBK
constexpr std::size_t kRoom = PROJSMSDLL_TEXT_BYTES + 1;
constexpr char kGuard = '\x5A';

// A by-reference text as the application passes it: 500 spaces and the NUL,
// followed by guard bytes that must survive the call.
struct OutText {
  char bytes[kRoom + 64];
  OutText() {
    std::memset(bytes, ' ', PROJSMSDLL_TEXT_BYTES);
    bytes[PROJSMSDLL_TEXT_BYTES] = '\0';
    std::memset(bytes + kRoom, kGuard, 64);
  }
  std::string text() const { return bytes; }
  bool guard_intact() const {
    for (std::size_t i = kRoom; i < sizeof bytes; ++i)
      if (bytes[i] != kGuard) return false;
    return true;
  }
};

class Library {
 public:
  Library() {
    handle_ = dlopen(PROJSMSDLL_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    open = Bind<hs_open_device_fn>("hs_open_device");
    close = Bind<hs_close_device_fn>("hs_close_device");
    get = Bind<hs_get_onemessage_fn>("hs_get_onemessage");
    send = Bind<hs_send_onemessage_fn>("hs_send_onemessage");
    form = Bind<DLLFormShow_fn>("DLLFormShow");
  }
  ~Library() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  bool bound() const { return open && close && get && send && form; }
  void* handle() const { return handle_; }

  hs_open_device_fn open = nullptr;
  hs_close_device_fn close = nullptr;
  hs_get_onemessage_fn get = nullptr;
  hs_send_onemessage_fn send = nullptr;
  DLLFormShow_fn form = nullptr;

 private:
  template <typename F>
  F Bind(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_ = nullptr;
};

class EntriesTest : public ::testing::Test {
 protected:
  static constexpr int32_t kPort = 4;

  void SetUp() override {
    ASSERT_TRUE(lib_.bound()) << dlerror();
    ::setenv("PROJSMSDLL_PORT4", modem_.path().c_str(), 1);
  }
  void TearDown() override { ::unsetenv("PROJSMSDLL_PORT4"); }

  // Opens port 4 as the open button does; returns the handle.
  int32_t Open() {
    OutText err;
    int32_t handle = 0;
    EXPECT_EQ(lib_.open(0x1234, kPort, 9600, "8613800290500", &handle, err.bytes), 1) << err.text();
    EXPECT_EQ(err.text(), "");
    EXPECT_NE(handle, 0);
    return handle;
  }
  void Close(int32_t handle) {
    OutText err;
    EXPECT_EQ(lib_.close(kPort, handle, err.bytes), 1) << err.text();
  }

  Library lib_;
  atmodem::BackgroundModem modem_;
};

TEST_F(EntriesTest, ExactlyTheFiveEntriesAreBoundByName) {
  EXPECT_TRUE(lib_.bound());
  EXPECT_EQ(dlsym(lib_.handle(), "_ZN6smsdll8platform7LibraryEv"), nullptr);
}

TEST_F(EntriesTest, SendsPlainAndChineseTextAndKeepsTheDeviceBetweenCalls) {
  int32_t handle = Open();
  OutText err;
  EXPECT_EQ(lib_.send("8613800290500", "test", "10086", 1, err.bytes), 1) << err.text();
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(lib_.send("8613800290500", (kNiHao + "!").c_str(), "+8613912345678", 1, err.bytes), 1)
      << err.text();
  EXPECT_TRUE(err.guard_intact());
  modem_.With([](atmodem::Modem& m) {
    ASSERT_EQ(m.sent().size(), 2u);
    EXPECT_EQ(m.sent()[0].text, u"test");
    EXPECT_EQ(m.sent()[0].number, "10086");
    EXPECT_EQ(m.sent()[1].text, u"你好!");
    EXPECT_EQ(m.sent()[1].dcs, 8);
    EXPECT_EQ(m.centre(), "8613800290500");
  });
  Close(handle);
}

TEST_F(EntriesTest, FetchReturnsTheFourTextsInGbkAndDeletesTheMessage) {
  modem_.With([](atmodem::Modem& m) {
    m.AddInbox("+8613912345678", u"你好, 世界", "26/12/08,19:10:00+32");
    m.AddInbox("10086", u"second", "26/12/08,19:20:00+32");
  });
  int32_t handle = Open();
  OutText text, sent, fetched, sender, err;
  ASSERT_EQ(lib_.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
      << err.text();
  EXPECT_EQ(text.text(), kNiHao + ", \xCA\xC0\xBD\xE7");
  EXPECT_EQ(sent.text(), "2026-12-08 19:10:00 +08:00");
  EXPECT_EQ(fetched.text().size(), 19u);  // "YYYY-MM-DD hh:mm:ss" of now
  EXPECT_EQ(sender.text(), "+8613912345678");
  EXPECT_EQ(err.text(), "");
  for (const OutText* t : {&text, &sent, &fetched, &sender, &err}) EXPECT_TRUE(t->guard_intact());
  modem_.With([](atmodem::Modem& m) {
    ASSERT_EQ(m.inbox().size(), 1u);
    EXPECT_EQ(m.inbox()[0].text, u"second");
  });
  Close(handle);
}

TEST_F(EntriesTest, UnicodeRoundTripFromSendToFetch) {
  int32_t handle = Open();
  const std::string original =
      kNiHao + " \xA1\xB0quoted\xA1\xB1 \xD6\xD0\xCE\xC4";  // 你好 “quoted” 中文
  OutText err;
  ASSERT_EQ(lib_.send("", original.c_str(), "13800000000", 1, err.bytes), 1) << err.text();
  modem_.With([](atmodem::Modem& m) {
    const auto& s = m.sent().back();
    m.AddInbox(s.number, s.text, "26/12/08,19:10:00+32");  // as if it came back
  });
  OutText text, sent, fetched, sender;
  ASSERT_EQ(lib_.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
      << err.text();
  EXPECT_EQ(text.text(), original);
  EXPECT_EQ(sender.text(), "13800000000");
  Close(handle);
}

// A long Chinese text goes as concatenated parts and comes back whole, cut
// to the buffer on a character boundary; on a PDU-only and a text-only modem.
TEST_F(EntriesTest, LongMessagesGoInPartsAndComeBackWhole) {
  std::string original;
  for (int i = 0; i < 150; ++i) original += kNiHao;  // 600 bytes, 300 characters
  for (bool text_only : {false, true}) {
    if (text_only)
      modem_.With([](atmodem::Modem& m) { m.FailCommand("+CMGF=0", "+CMS ERROR: 303"); });
    int32_t handle = Open();
    OutText err;
    ASSERT_EQ(lib_.send("", original.c_str(), "10086", 1, err.bytes), 1) << err.text();
    modem_.With([&](atmodem::Modem& m) {
      EXPECT_EQ(m.sent().back().concat->total, 5);  // 300 characters in parts of 67
      std::u16string text;
      for (auto it = m.sent().end() - 5; it != m.sent().end(); ++it) text += it->text;
      m.AddInbox("+8613912345678", text, "26/12/08,19:10:00+32");  // as if it came back
    });
    OutText text, sent, fetched, sender;
    if (!text_only) {
      ASSERT_EQ(lib_.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
          << err.text();
      EXPECT_EQ(text.text(), original.substr(0, 500));
      modem_.With([](atmodem::Modem& m) { EXPECT_TRUE(m.inbox().empty()); });
    } else {
      // Text mode shows no header: the parts come one by one.
      for (int part = 0; part < 5; ++part)
        ASSERT_EQ(lib_.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 1)
            << err.text();
      EXPECT_EQ(text.text(), original.substr(0, (300 - 4 * 67) * 2));  // the last part
    }
    Close(handle);
  }
}

TEST_F(EntriesTest, EmptyInboxGivesFalseEmptyTextsAndACause) {
  int32_t handle = Open();
  OutText text, sent, fetched, sender, err;
  EXPECT_EQ(lib_.get(text.bytes, sent.bytes, fetched.bytes, sender.bytes, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 12: no received message is stored in the modem");
  for (const OutText* t : {&text, &sent, &fetched, &sender}) EXPECT_EQ(t->text(), "");
  Close(handle);
}

TEST_F(EntriesTest, CloseChecksTheHandle) {
  int32_t handle = Open();
  OutText err;
  EXPECT_EQ(lib_.close(kPort, handle + 1, err.bytes), 0);
  EXPECT_EQ(err.text(),
            "error 9: handle " + std::to_string(handle + 1) + " is not the open device's (port 4)");
  EXPECT_EQ(lib_.send("", "still open", "10086", 1, err.bytes), 1) << err.text();
  Close(handle);
  EXPECT_EQ(lib_.close(kPort, handle, err.bytes), 0);  // twice in a row
  EXPECT_EQ(err.text(), "error 8: no device is open (handle " + std::to_string(handle) + ")");
  EXPECT_EQ(lib_.send("", "closed", "10086", 1, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 8: no device is open: open one first");
}

TEST_F(EntriesTest, PortsThatAreNoModemsAreNamedWithTheirCause) {
  OutText err;
  int32_t handle = 55;
  ::setenv("PROJSMSDLL_PORT9", "/nonexistent/ttyX", 1);
  EXPECT_EQ(lib_.open(0, 9, 9600, "", &handle, err.bytes), 0);
  EXPECT_EQ(err.text(),
            "error 2: port 9 (/nonexistent/ttyX): cannot be opened: No such file or directory");
  ::setenv("PROJSMSDLL_PORT9", "/dev/null", 1);
  EXPECT_EQ(lib_.open(0, 9, 9600, "", &handle, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 3: port 9 (/dev/null): is not a serial device");
  ::unsetenv("PROJSMSDLL_PORT9");
  EXPECT_EQ(lib_.open(0, kPort, 12345, "", &handle, err.bytes), 0);
  EXPECT_NE(err.text().find("12345 bit/s is not a serial speed"), std::string::npos) << err.text();
  EXPECT_EQ(lib_.open(0, -1, 9600, "", &handle, err.bytes), 0);
  EXPECT_NE(err.text().find("port -1 is not a port number"), std::string::npos) << err.text();
  EXPECT_EQ(handle, 55);
}

TEST_F(EntriesTest, APortHeldByAnotherProgramIsNamedBusy) {
  int other = ::open(modem_.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  OutText err;
  int32_t handle = 0;
  EXPECT_EQ(lib_.open(0, kPort, 9600, "", &handle, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 2: port 4 (" + modem_.path() + "): is in use by another program");
  ::close(other);
  handle = Open();
  Close(handle);
}

TEST_F(EntriesTest, PortMapFileNamesTheDevice) {
  auto map = std::filesystem::temp_directory_path() / ("smsdll-ports-" + std::to_string(getpid()));
  std::ofstream(map) << "# test bench\nCOM6 = " << modem_.path() << "\n";
  ::setenv("PROJSMSDLL_PORTMAP", map.c_str(), 1);
  OutText err;
  int32_t handle = 0;
  EXPECT_EQ(lib_.open(0, 6, 9600, "", &handle, err.bytes), 1) << err.text();
  EXPECT_EQ(lib_.close(6, handle, err.bytes), 1) << err.text();
  ::unsetenv("PROJSMSDLL_PORTMAP");
  std::filesystem::remove(map);
}

TEST_F(EntriesTest, AModemThatGoesAwayIsReportedNotWaitedFor) {
  auto gone = std::make_unique<atmodem::BackgroundModem>();
  ::setenv("PROJSMSDLL_PORT5", gone->path().c_str(), 1);
  OutText err;
  int32_t handle = 0;
  ASSERT_EQ(lib_.open(0, 5, 9600, "", &handle, err.bytes), 1) << err.text();
  gone.reset();  // unplugged
  EXPECT_EQ(lib_.send("", "hi", "10086", 1, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 4: the device was disconnected");
  EXPECT_EQ(lib_.close(5, handle, err.bytes), 1) << err.text();
  ::unsetenv("PROJSMSDLL_PORT5");
}

TEST_F(EntriesTest, ModemAnsweringErrorFailsTheCallWithTheModemsAnswer) {
  modem_.With([](atmodem::Modem& m) { m.FailCommand("+CMGF", "ERROR", 2); });
  OutText err;
  int32_t handle = 0;
  EXPECT_EQ(lib_.open(0, kPort, 9600, "", &handle, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 6: port 4 (" + modem_.path() +
                            "): the modem takes neither PDU mode (it answered ERROR to "
                            "AT+CMGF=0) nor text mode (ERROR to AT+CMGF=1)");
  handle = Open();
  modem_.With([](atmodem::Modem& m) { m.FailCommand("SUBMIT", "+CMS ERROR: 304", 1); });
  EXPECT_EQ(lib_.send("", "hi", "10086", 1, err.bytes), 0);
  EXPECT_EQ(err.text(),
            "error 6: the modem answered +CMS ERROR: 304 (invalid PDU mode parameter) to the "
            "message text of AT+CMGS=13");
  Close(handle);
}

TEST_F(EntriesTest, TextsLongerThanTheBufferAreCutOnACharacterBoundary) {
  int32_t handle = Open();
  OutText err;
  std::string number = "1";
  for (int i = 0; i < 400; ++i) number += kNiHao.substr(0, 2);
  EXPECT_EQ(lib_.send("", "hi", number.c_str(), 1, err.bytes), 0);
  std::string shown = err.text();
  EXPECT_LE(shown.size(), 500u);
  EXPECT_GE(shown.size(), 499u);
  EXPECT_TRUE(shown.starts_with("error 1: the destination \"1\xC4\xE3"));
  // The cut falls between characters: the text ends on a whole 你 (C4 E3).
  EXPECT_EQ(shown.substr(shown.size() - 2), "\xC4\xE3");
  EXPECT_TRUE(err.guard_intact());
  Close(handle);
}

TEST_F(EntriesTest, FormShowNeverWritesIntoItsArgument) {
  static const char kEmpty[] = "";  // read-only: a write would crash
  EXPECT_EQ(lib_.form(const_cast<char*>(kEmpty)), 1);
  EXPECT_EQ(lib_.form(nullptr), 1);
  int32_t handle = Open();
  char one[1] = {'\0'};
  EXPECT_EQ(lib_.form(one), 1);
  EXPECT_EQ(one[0], '\0');
  Close(handle);
}

TEST_F(EntriesTest, NullArgumentsAreRefusedNotFollowed) {
  EXPECT_EQ(lib_.open(0, kPort, 9600, nullptr, nullptr, nullptr), 0);
  OutText err;
  EXPECT_EQ(lib_.open(0, kPort, 9600, nullptr, nullptr, err.bytes), 0);
  EXPECT_EQ(err.text(), "error 1: no cell for the device handle");
  int32_t handle = Open();
  EXPECT_EQ(lib_.send(nullptr, nullptr, nullptr, 1, err.bytes), 0);
  EXPECT_NE(err.text().find("is not a phone number"), std::string::npos);
  EXPECT_EQ(lib_.get(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  Close(handle);
}

}  // namespace
