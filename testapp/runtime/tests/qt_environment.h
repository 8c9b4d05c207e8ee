// The QApplication of a Qt test program: created only when tests run (listing
// them needs no display), for the whole run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "backend/qt/qt_backend.h"

namespace rt::testing {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QtApp>(); }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QtApp> app_;
};

}  // namespace rt::testing

// The test program's main. Fontconfig's caches live until the process ends;
// LeakSanitizer would call them leaks: only they are suppressed (and, on a
// real X display, what libdbus keeps for the session bus connection).
#define RT_QT_TEST_MAIN_SUPPRESSING(suppressions)                          \
  extern "C" const char* __lsan_default_suppressions() {                   \
    return suppressions;                                                   \
  }                                                                        \
  int main(int argc, char** argv) {                                        \
    ::testing::InitGoogleTest(&argc, argv);                                \
    ::testing::AddGlobalTestEnvironment(new ::rt::testing::QtEnvironment); \
    return RUN_ALL_TESTS();                                                \
  }
#define RT_QT_TEST_MAIN() RT_QT_TEST_MAIN_SUPPRESSING("leak:libfontconfig.so\n")
#define RT_QT_X11_TEST_MAIN() \
  RT_QT_TEST_MAIN_SUPPRESSING("leak:libfontconfig.so\nleak:libdbus-1.so\n")
