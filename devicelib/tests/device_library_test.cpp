// Handles and state between calls, over simulated modems in virtual time.
#include "device_library.h"

#include <gtest/gtest.h>

#include "modem_line.h"
#include "platform/system.h"

namespace smsdll {
namespace {

class DeviceLibraryTest : public ::testing::Test {
 protected:
  testing::VirtualClock clock_;
  testing::FakePorts ports_{clock_};
  std::unique_ptr<Codec> codec_ = platform::MakeCodec();
  DeviceLibrary library_{ports_, clock_, *codec_};
};

TEST_F(DeviceLibraryTest, HandlesAreNonZeroAndCheckedOnClose) {
  ports_.modem(4);
  int32_t handle = 0;
  ASSERT_TRUE(library_.Open(77, 4, 9600, "8613800290500", handle).ok());
  EXPECT_NE(handle, 0);

  Status wrong = library_.Close(4, handle + 1);
  EXPECT_EQ(wrong.error(), Error::kWrongHandle);
  EXPECT_EQ(wrong.Describe(),
            "error 9: handle " + std::to_string(handle + 1) + " is not the open device's (port 4)");
  EXPECT_EQ(library_.Close(5, handle).error(), Error::kInvalidArgument);  // another port
  EXPECT_TRUE(library_.Send("", "still open", "10086", 1).ok());

  EXPECT_TRUE(library_.Close(4, handle).ok());
  Status again = library_.Close(4, handle);
  EXPECT_EQ(again.error(), Error::kNotOpen);
  EXPECT_EQ(library_.Send("", "x", "10086", 1).error(), Error::kNotOpen);
  FetchedMessage m;
  EXPECT_EQ(library_.Fetch(m).error(), Error::kNotOpen);
}

TEST_F(DeviceLibraryTest, CloseBeforeAnyOpenPassesHandleZeroAndFails) {
  Status s = library_.Close(4, 0);
  EXPECT_EQ(s.error(), Error::kNotOpen);
  EXPECT_EQ(s.Describe(), "error 8: no device is open (handle 0)");
}

TEST_F(DeviceLibraryTest, OpeningAgainReplacesTheDeviceAndItsHandle) {
  ports_.modem(4);
  ports_.modem(6);
  int32_t first = 0, second = 0;
  ASSERT_TRUE(library_.Open(1, 4, 9600, "", first).ok());
  ASSERT_TRUE(library_.Open(1, 6, 115200, "", second).ok());
  EXPECT_NE(first, second);
  EXPECT_EQ(library_.Close(4, first).error(), Error::kWrongHandle);
  ASSERT_TRUE(library_.Send("", "via six", "10086", 1).ok());
  EXPECT_TRUE(ports_.modem(4).sent().empty());
  EXPECT_EQ(ports_.modem(6).sent().size(), 1u);
  EXPECT_TRUE(library_.Close(6, second).ok());
}

TEST_F(DeviceLibraryTest, FailedOpenLeavesNoDeviceAndTheHandleUntouched) {
  int32_t handle = 1234;
  Status missing = library_.Open(1, 3, 9600, "", handle);
  EXPECT_EQ(missing.error(), Error::kPortUnavailable);
  EXPECT_EQ(missing.text(), "port 3 (sim3): cannot be opened: no such device");
  EXPECT_EQ(library_.Open(1, 3, 0, "", handle).error(), Error::kInvalidArgument);
  ports_.modem(3).FailCommand("+CMGF", "ERROR");
  EXPECT_EQ(library_.Open(1, 3, 9600, "", handle).error(), Error::kModemRefused);
  EXPECT_EQ(handle, 1234);
  EXPECT_EQ(library_.Send("", "x", "10086", 1).error(), Error::kNotOpen);
}

TEST_F(DeviceLibraryTest, DescribeNamesTheDeviceAndTheLastOutcome) {
  ports_.modem(4);
  int32_t handle = 0;
  ASSERT_TRUE(library_.Open(1, 4, 9600, "+8613800290500", handle).ok());
  library_.Note(library_.Close(4, handle + 5));
  std::string text = library_.Describe();
  EXPECT_NE(text.find("port 4 (sim4), 9600 bit/s"), std::string::npos) << text;
  EXPECT_NE(text.find("Service centre: +8613800290500"), std::string::npos) << text;
  EXPECT_NE(text.find("Last call: error 9"), std::string::npos) << text;
  EXPECT_EQ(library_.window(), 1);
}

}  // namespace
}  // namespace smsdll
