// Outside functions through the small test library: every parameter kind,
// missing libraries and entries, and libraries that break their buffers.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "fixture.h"
#include "rt/external.h"

namespace rt {
namespace {

using testing::RuntimeFixture;

constexpr std::string_view kLib = "rttest.dll";

inline constexpr External<"BLSRLRS", bool(Long, const Text&, Long&, Text&)> rt_kinds{kLib,
                                                                                     "rt_kinds"};
inline constexpr External<"LLL", Long(Long, Long)> rt_add{kLib, "rt_add"};
inline constexpr External<"BB", bool(bool)> rt_not{kLib, "rt_not"};
inline constexpr External<"BRS", bool(Text&)> rt_untouched{kLib, "rt_untouched"};
inline constexpr External<"BRS", bool(Text&)> rt_fill_exact{kLib, "rt_fill_exact"};
inline constexpr External<"BRS", bool(Text&)> rt_nul_inside{kLib, "rt_nul_inside"};
inline constexpr External<"BRS", bool(Text&)> rt_overrun{kLib, "rt_overrun"};
inline constexpr External<"BRS", bool(Text&)> rt_no_nul{kLib, "rt_no_nul"};
inline constexpr External<"BRS", bool(Text&)> rt_write_empty{kLib, "rt_write_empty"};
inline constexpr External<"BRL", bool(Long&)> rt_wide_cell{kLib, "rt_wide_cell"};
inline constexpr External<"BS", bool(const Text&)> rt_scribble{kLib, "rt_scribble"};
inline constexpr External<"BRS", bool(Text&)> rt_far_overrun{kLib, "rt_far_overrun"};
inline constexpr External<"BRS", bool(Text&)> no_entry{kLib, "rt_no_such_entry"};
inline constexpr External<"BRS", bool(Text&)> no_library{"NoSuchLib.dll", "rt_untouched"};

// The code parser itself, at compile time.
static_assert(ext::parse("BLLLSRLRS").ok && ext::parse("BLLLSRLRS").count == 6);
static_assert(ext::parse("BLLLSRLRS").params[4] == ext::Kind::RefLong);
static_assert(ext::parse("BRSRSRSRSRS").count == 5);
static_assert(!ext::parse("").ok && !ext::parse("X").ok && !ext::parse("BR").ok &&
              !ext::parse("BRB").ok && !ext::parse("BQ").ok && !ext::parse("SL").ok);

// The test library's file, and the part of a missing one's that a
// runtime-error detail names, on this platform.
#ifdef _WIN32
constexpr const char* kLibFile = "rttest.dll";
constexpr const char* kNoSuchFile = "NoSuchLib.dll";
#else
constexpr const char* kLibFile = "librttest.so";
constexpr const char* kNoSuchFile = "libNoSuchLib.so";
#endif

// Paths compared with one kind of separator (Windows answers with '\\').
std::string slashes(std::string s) {
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

struct Outside : RuntimeFixture {
  // Runs `body` as the clicked event of a button; true when it completed.
  bool run(const std::function<void()>& body) {
    return rt.run_event(*button.lock(), "clicked", [&] {
      body();
      return Outcome::Completed;
    }) == Outcome::Completed;
  }
  Ref<CommandButton> button = rt.create<CommandButton>("commandbutton");
};

TEST_F(Outside, EveryParameterKindTravelsBothWays) {
  const Text by_value = "\xB4\xED\xCE\xF3 4";  // GBK bytes travel unchanged
  Long cell = 7;
  Text buf = spaces(20);
  bool result = false;
  ASSERT_TRUE(run([&] { result = rt_kinds(rt, 3, by_value, cell, buf); }));
  EXPECT_TRUE(result);
  EXPECT_EQ(cell, 7003);
  EXPECT_EQ(buf, by_value + "|" + Text(13, ' '));
  EXPECT_EQ(by_value, "\xB4\xED\xCE\xF3 4");

  ASSERT_TRUE(run([&] { result = rt_kinds(rt, -1, "", cell, buf); }));
  EXPECT_FALSE(result);
  EXPECT_EQ(cell, 7002999);

  Long sum = 0;
  ASSERT_TRUE(run([&] { sum = rt_add(rt, 40, 2); }));
  EXPECT_EQ(sum, 42);
  bool negated = true;
  ASSERT_TRUE(run([&] { negated = rt_not(rt, true); }));
  EXPECT_FALSE(negated);
}

TEST_F(Outside, TextsReadBackUpToTheFirstNul) {
  Text untouched = spaces(500), exact = spaces(500), nul = spaces(500);
  ASSERT_TRUE(run([&] {
    rt_untouched(rt, untouched);
    rt_fill_exact(rt, exact);
    rt_nul_inside(rt, nul);
  }));
  EXPECT_EQ(untouched, spaces(500));
  EXPECT_EQ(exact, Text(500, 'Q'));
  EXPECT_EQ(nul, "ab");
  EXPECT_TRUE(rt.error_log().empty());
}

struct Fault {
  const char* name;
  std::function<void(Runtime&, Text&, Long&)> call;
};

TEST_F(Outside, ALibraryThatBreaksABufferEndsTheBodyAndChangesNothing) {
  const Fault faults[] = {
      {"overrun", [](Runtime& r, Text& t, Long&) { rt_overrun(r, t); }},
      {"no NUL", [](Runtime& r, Text& t, Long&) { rt_no_nul(r, t); }},
      {"into an empty text",
       [](Runtime& r, Text& t, Long&) {
         t.clear();
         rt_write_empty(r, t);
       }},
      {"wide cell", [](Runtime& r, Text&, Long& c) { rt_wide_cell(r, c); }},
      {"by value", [](Runtime& r, Text& t, Long&) { rt_scribble(r, t); }},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    Text text = spaces(500);
    Long cell = 5;
    bool after = false;
    const std::size_t boxes = ui.boxes().size();
    EXPECT_FALSE(run([&] {
      f.call(rt, text, cell);
      after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_TRUE(text == spaces(500) || text.empty());
    EXPECT_EQ(cell, 5);
    ASSERT_FALSE(rt.error_log().empty());
    EXPECT_EQ(rt.error_log().back().code, ErrorCode::BufferOverrun);
    ASSERT_EQ(ui.boxes().size(), boxes + 1);
    EXPECT_NE(ui.boxes().back().text.find("Error 20522"), std::string::npos);
  }
}

TEST_F(Outside, AMissingLibraryOrEntryEndsTheBodyAtTheCall) {
  Text buf = spaces(10);
  bool after = false;
  EXPECT_FALSE(run([&] {
    no_library(rt, buf);
    after = true;
  }));
  EXPECT_FALSE(after);
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].code, ErrorCode::LibraryNotFound);
  EXPECT_NE(rt.error_log()[0].detail.find(kNoSuchFile), std::string::npos);

  EXPECT_FALSE(run([&] {
    no_entry(rt, buf);
    after = true;
  }));
  EXPECT_FALSE(after);
  EXPECT_EQ(rt.error_log()[1].code, ErrorCode::EntryNotFound);
  EXPECT_EQ(slashes(rt.error_log()[1].detail),
            slashes("rttest.dll (" RT_TESTLIB_DIR "/" + std::string(kLibFile) +
                    ") has no entry rt_no_such_entry"));
  EXPECT_EQ(buf, spaces(10));
  EXPECT_EQ(ui.boxes().size(), 2u);
}

TEST_F(Outside, WhenTheRuntimeLetsExecutionContinueTheCallGivesFalse) {
  rt.set_error_answer([](ErrorCode) { return ErrorAnswer::Continue; });
  Text buf = spaces(10);
  bool result = true;
  ASSERT_TRUE(run([&] { result = no_library(rt, buf); }));
  EXPECT_FALSE(result);
  result = true;
  ASSERT_TRUE(run([&] { result = rt_overrun(rt, buf); }));
  EXPECT_FALSE(result);
  EXPECT_EQ(buf, spaces(10));
}

#ifndef _WIN32
TEST(DlBinder, MapsWindowsNamesToLinuxOnes) {
  EXPECT_EQ(DlBinder::linux_file_name("ProjSmsDLL.dll"), "libProjSmsDLL.so");
  EXPECT_EQ(DlBinder::linux_file_name("ProjSmsDLL.DLL"), "libProjSmsDLL.so");
  EXPECT_EQ(DlBinder::linux_file_name("libx.so"), "libx.so");
  EXPECT_EQ(DlBinder::linux_file_name(".dll"), ".dll");
}

TEST(DlBinder, SearchesTheEnvironmentsPathThenTheLaunchersDirectories) {
  const char* old = std::getenv("MOBIRT_LIBRARY_PATH");
  std::string saved = old ? old : "";
  setenv("MOBIRT_LIBRARY_PATH", "/one::/two", 1);
  auto dirs = DlBinder::default_search_dirs();
  old ? setenv("MOBIRT_LIBRARY_PATH", saved.c_str(), 1) : unsetenv("MOBIRT_LIBRARY_PATH");
  ASSERT_EQ(dirs.size(), 4u);
  EXPECT_EQ(dirs[0], "/one");
  EXPECT_EQ(dirs[1], "/two");
  EXPECT_TRUE(dirs[2].ends_with("/bin"));  // where the build puts this test
  EXPECT_EQ(dirs[3], dirs[2].substr(0, dirs[2].rfind('/')) + "/lib");
}

TEST(DlBinder, FindsALibraryByItsWindowsNameAndPathsAsGiven) {
  DlBinder binder({"/nonexistent", RT_TESTLIB_DIR});
  EXPECT_NE(binder.bind("rttest.dll", "rt_add").entry, nullptr);
  DlBinder direct(std::vector<std::string>{});
  EXPECT_NE(direct.bind(RT_TESTLIB_DIR "/librttest.so", "rt_add").entry, nullptr);
  Binding miss = direct.bind("rttest.dll", "rt_add");
  EXPECT_EQ(miss.entry, nullptr);
  EXPECT_EQ(miss.error, ErrorCode::LibraryNotFound);
  EXPECT_EQ(miss.detail, "rttest.dll: librttest.so is in none of: (no directories)");
}

#endif

TEST(Binder, TheFirstFolderHoldingTheLibraryWinsAndIsNamed) {
  using Which = std::int32_t(RT_OUTSIDE_CALL*)();
  for (auto [first, second, copy] : {std::tuple{RT_TESTLIB_DIR, RT_TESTLIB_COPY_DIR, 1},
                                     std::tuple{RT_TESTLIB_COPY_DIR, RT_TESTLIB_DIR, 2}}) {
    PlatformBinder binder({first, second});
    ::testing::internal::CaptureStderr();
    Binding b = binder.bind("rttest.dll", "rt_which");
    binder.bind("rttest.dll", "rt_add");
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(b.entry, nullptr);
    EXPECT_EQ(reinterpret_cast<Which>(b.entry)(), copy);
    const std::string path = slashes(std::string(first) + "/" + kLibFile);
    EXPECT_EQ(slashes(binder.bound_path("rttest.dll")), path);
    EXPECT_EQ(slashes(said), "mobirt: rttest.dll is " + path + "\n");
  }
}

TEST(GuardedBuffer, DetectsWritesIntoItsGuard) {
  GuardedBuffer b(501);
  EXPECT_GE(b.guard_size(), 4096u);
  std::memset(b.data(), ' ', 501);
  EXPECT_TRUE(b.guard_intact());
  b.data()[501 + b.guard_size() - 1] = 0;  // the guard's last byte
  EXPECT_FALSE(b.guard_intact());
}

// (On Windows the far write is tested on the application, under Wine.)
#ifndef _WIN32
TEST(GuardedBufferDeathTest, AWriteBeyondTheGuardStopsTheProcessInsteadOfCorrupting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardedBuffer b(16);
  EXPECT_DEATH(
      {
        volatile unsigned char* p = b.data();
        p[16 + b.guard_size()] = 1;
      },
      "");
}

TEST_F(Outside, AWriteFarPastABufferStopsWithAMessageNamingTheCallAndParameter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Text buf = spaces(500);
        run([&] { rt_far_overrun(rt, buf); });
      },
      ::testing::KilledBySignal(SIGSEGV),
      "mobirt: stopped: the outside function rt_far_overrun wrote outside the buffer of its "
      "parameter 1 \\(by-reference text\\)");
}
#endif

}  // namespace
}  // namespace rt
