// A runtime on the headless backend, with a record of object lifecycles.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backend/headless/headless.h"
#include "platform/platform_binder.h"
#include "rt/runtime.h"

namespace rt::testing {

struct RuntimeFixture : ::testing::Test {
  RuntimeFixture() {
    rt.set_lifecycle_observer([this](const Object& o, Lifecycle l) {
      lifecycle.push_back((l == Lifecycle::Created ? "+" : "-") + o.path());
    });
  }
  std::vector<std::string> box_texts() const {
    std::vector<std::string> v;
    for (const auto& b : ui.boxes()) v.push_back(b.text);
    return v;
  }

  HeadlessBackend ui;
  PlatformBinder binder{{RT_TESTLIB_DIR}};
  Runtime rt{ui, binder};
  std::vector<std::string> lifecycle;  // "+path" created, "-path" freed
};

}  // namespace rt::testing
