#include "app/capture_backend.h"

#include <gtest/gtest.h>

namespace orvane::app {
namespace {

// The override wins in both directions and is marked forced, so its failure is never papered over
// by the other backend; without it only a non-empty WAYLAND_DISPLAY means a Wayland session.
TEST(CaptureBackendTest, OverrideWinsAndWaylandSessionsTryThePortal) {
    auto choice = chooseCaptureBackend("x11", "wayland-0");
    EXPECT_EQ(choice.backend, CaptureBackend::x11);
    EXPECT_TRUE(choice.forced);
    choice = chooseCaptureBackend("portal", nullptr);
    EXPECT_EQ(choice.backend, CaptureBackend::portal);
    EXPECT_TRUE(choice.forced);

    choice = chooseCaptureBackend(nullptr, "wayland-1");
    EXPECT_EQ(choice.backend, CaptureBackend::portal);
    EXPECT_FALSE(choice.forced);
    EXPECT_EQ(chooseCaptureBackend("", "").backend, CaptureBackend::x11);
    EXPECT_EQ(chooseCaptureBackend(nullptr, nullptr).backend, CaptureBackend::x11);
}

TEST(CaptureBackendTest, AnUnknownOverrideIsAnErrorNamingTheChoices) {
    try {
        chooseCaptureBackend("pipewire", "wayland-0");
        FAIL() << "an unknown backend was accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "ORVANE_CAPTURE must be \"x11\" or \"portal\", not \"pipewire\".");
    }
}

}  // namespace
}  // namespace orvane::app
