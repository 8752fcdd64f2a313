#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace orvane::testing {

// The test script installs every outside program and service the tests talk to and sets
// ORVANE_TEST_REQUIRE_SERVICES=1; there a missing one is a fault to report, while on a developer's
// machine without it the test is skipped.
inline bool servicesRequired() {
    const char* value = std::getenv("ORVANE_TEST_REQUIRE_SERVICES");
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace orvane::testing

// Used at the top of a test body or SetUp: both branches return from it.
#define ORVANE_REQUIRE_SERVICE(available, what)                         \
    do {                                                                \
        if (!(available)) {                                             \
            if (::orvane::testing::servicesRequired()) FAIL() << what;  \
            GTEST_SKIP() << what;                                       \
        }                                                               \
    } while (0)
