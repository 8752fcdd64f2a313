#include "app/input_group_notice.h"

#include <gtest/gtest.h>

#include "app/preferences.h"
#include "base/manual_executor.h"
#include "base/toast_center.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(InputGroupNoticeTest, ShownOncePerUserAndStaysUntilDismissed) {
    testing::TempDir dir;
    ManualExecutor loop;
    ToastCenter toasts{loop};
    {
        JsonPreferencesStore store{dir / "preferences.json"};
        Preferences preferences{store};
        app::showInputGroupNoticeOnce(preferences, toasts);
        app::showInputGroupNoticeOnce(preferences, toasts);
        ASSERT_EQ(toasts.toasts().size(), 1u);
        const Toast& toast = toasts.toasts().front();
        EXPECT_EQ(toast.level, ToastLevel::warning);
        EXPECT_TRUE(toast.persistent);
        EXPECT_NE(toast.detail->find("input group"), std::string::npos);
        EXPECT_NE(toast.detail->find("usermod -aG input"), std::string::npos);
    }
    // A later run of the program (a fresh store over the same file) does not show it again.
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
    ToastCenter later{loop};
    app::showInputGroupNoticeOnce(preferences, later);
    EXPECT_TRUE(later.toasts().empty());
}

TEST(InputGroupNoticeTest, APreferenceThatCannotBeWrittenStillShowsTheNotice) {
    testing::TempDir dir;
    // Its folder is a file: no write can succeed, whoever runs the test.
    testing::writeTextFile(dir / "not-a-folder", "");
    JsonPreferencesStore store{dir / "not-a-folder" / "preferences.json"};
    Preferences preferences{store};
    ManualExecutor loop;
    ToastCenter toasts{loop};
    EXPECT_NO_THROW(app::showInputGroupNoticeOnce(preferences, toasts));
    EXPECT_EQ(toasts.toasts().size(), 1u);
}

}  // namespace
}  // namespace orvane
