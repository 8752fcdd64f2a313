#include "editor/auto_zoom_status.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(AutoZoomStatusTest, BannersCountClustersAndStayQuietWhileWorking) {
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::ready(1)),
              (AutoZoomBanner{"plus.magnifyingglass", "Auto-zoomed 1 click cluster \u00b7 right-click to delete"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::ready(12))->text, "Auto-zoomed 12 click clusters \u00b7 right-click to delete");
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::noClicks()),
              (AutoZoomBanner{"hand.tap", "No clicks detected \u2014 add zooms manually with the toolbar"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::noCursorTrack()),
              (AutoZoomBanner{"cursorarrow.slash", "Imported video \u2014 no cursor data, auto-zoom unavailable"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::clickCaptureDisabled()),
              (AutoZoomBanner{"hand.raised.slash.fill",
                              "Click capture disabled \u2014 grant Input Monitoring in System Settings"}));
    for (auto quiet : {AutoZoomStatus::ready(0), AutoZoomStatus::unknown(), AutoZoomStatus::computing(),
                       AutoZoomStatus::pendingDuration()})
        EXPECT_EQ(autoZoomBanner(quiet), std::nullopt);
}

}  // namespace
}  // namespace orvane
