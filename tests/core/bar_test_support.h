// A bar on the test kit, built from a module whose FileVersion is 1.4.0.0.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "client/core/navlet.h"
#include "tests/support/test_kit.h"

namespace navlet::testing {

#if defined(_WIN32) && defined(NAVLET_FIXTURE_MODULE_PE)
inline constexpr const char* FIXTURE_MODULE = NAVLET_FIXTURE_MODULE_PE;
#else
inline constexpr const char* FIXTURE_MODULE = NAVLET_FIXTURE_MODULE_ELF;
#endif

class BarTest : public ::testing::Test {
  protected:
    void SetUp() override { tk.module.moduleFile = FIXTURE_MODULE; }
    void TearDown() override {
        bar.reset();
        // Teardown check: a destroyed bar leaves no timer behind.
        EXPECT_EQ(tk.time.ActiveTimers(), 0u);
    }

    TNavlet& MakeBar() {
        bar = std::make_unique<TNavlet>(tk.Kit());
        return *bar;
    }

    TTestKit tk;
    std::unique_ptr<TNavlet> bar;
};

} // namespace navlet::testing
