// The QApplication of a Qt test program: created only when tests run (listing
// them needs no display), for the whole run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "qt_backend.h"

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
// LeakSanitizer would call them leaks: only they are suppressed.
#define RT_QT_TEST_MAIN()                                                  \
  extern "C" const char* __lsan_default_suppressions() {                   \
    return "leak:libfontconfig.so\n";                                      \
  }                                                                        \
  int main(int argc, char** argv) {                                        \
    ::testing::InitGoogleTest(&argc, argv);                                \
    ::testing::AddGlobalTestEnvironment(new ::rt::testing::QtEnvironment); \
    return RUN_ALL_TESTS();                                                \
  }
