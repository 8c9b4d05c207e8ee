#include <gtest/gtest.h>

#include <map>

#include "portmap.h"

namespace smsdll {
namespace {

struct Sources {
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> files;

  PortMapSources Get() {
    return {[this](const std::string& name) -> std::optional<std::string> {
              auto it = env.find(name);
              return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
            },
            [this](const std::string& path, std::string& content) {
              auto it = files.find(path);
              if (it == files.end()) return false;
              content = it->second;
              return true;
            },
            [](int32_t n) { return "/dev/ttyS" + std::to_string(n - 1); }};
  }
};

TEST(PortMap, DefaultsToThePlatformsDevice) {
  Sources s;
  std::string path;
  ASSERT_TRUE(ResolvePortPath(4, s.Get(), path).ok());
  EXPECT_EQ(path, "/dev/ttyS3");
}

TEST(PortMap, EnvironmentVariableWinsOverTheMapFile) {
  Sources s;
  s.env["PROJSMSDLL_PORT4"] = "/dev/pts/9";
  s.env["PROJSMSDLL_PORTMAP"] = "/etc/map";
  s.files["/etc/map"] = "4 = /dev/ttyUSB0\n";
  std::string path;
  ASSERT_TRUE(ResolvePortPath(4, s.Get(), path).ok());
  EXPECT_EQ(path, "/dev/pts/9");
}

TEST(PortMap, MapFileLinesWithCommentsAndComNames) {
  Sources s;
  s.env["PROJSMSDLL_PORTMAP"] = "map";
  s.files["map"] =
      "# modems on this bench\n\n  COM4 = /dev/ttyUSB0   # the red one\r\n7=/dev/pts/3\n";
  std::string path;
  ASSERT_TRUE(ResolvePortPath(4, s.Get(), path).ok());
  EXPECT_EQ(path, "/dev/ttyUSB0");
  ASSERT_TRUE(ResolvePortPath(7, s.Get(), path).ok());
  EXPECT_EQ(path, "/dev/pts/3");
  ASSERT_TRUE(ResolvePortPath(2, s.Get(), path).ok());  // not listed: the default
  EXPECT_EQ(path, "/dev/ttyS1");
}

TEST(PortMap, BrokenMapsAndBadPortNumbersAreErrorsNamingTheCause) {
  Sources s;
  std::string path;
  Status bad = ResolvePortPath(0, s.Get(), path);
  EXPECT_EQ(bad.error(), Error::kInvalidArgument);
  EXPECT_NE(bad.text().find("port 0"), std::string::npos);

  s.env["PROJSMSDLL_PORTMAP"] = "missing.map";
  Status missing = ResolvePortPath(4, s.Get(), path);
  EXPECT_EQ(missing.error(), Error::kPortMap);
  EXPECT_NE(missing.text().find("missing.map"), std::string::npos);

  s.env["PROJSMSDLL_PORTMAP"] = "bad.map";
  s.files["bad.map"] = "1 = /dev/ttyS0\nfour: /dev/ttyS3\n";
  Status malformed = ResolvePortPath(4, s.Get(), path);
  EXPECT_EQ(malformed.error(), Error::kPortMap);
  EXPECT_NE(malformed.text().find("line 2"), std::string::npos);
}

}  // namespace
}  // namespace smsdll
