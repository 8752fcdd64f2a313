#include <gtest/gtest.h>

#include <thread>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "fake_capture.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/preferences.h"
#include "recording/recording_flow.h"
#include "recording/recording_library.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Phase = ScreenRecorder::Phase;

class RecordingFlowTest : public ::testing::Test {
protected:
    RecordingFlowTest() {
        services_.pointer = &pointer_;
        services_.cursorQueue = &cursorQueue_;
    }

    RecordingRequest request(std::optional<RecordingSourceKind> kind = std::nullopt) {
        RecordingRequest r;
        r.preferredKind = kind;
        r.reply = [this](const RecordingReply& reply) { replies_.push_back(reply); };
        return r;
    }

    SourceCatalogSnapshot catalog() { return buildSourceCatalog(capture_.shareableContent(), false); }

    testing::TempDir dir_;
    ManualExecutor main_;
    SerialQueue cursorQueue_{"test.cursor"};
    ToastCenter toasts_{main_};
    testing::FakeScreenCapture capture_;
    testing::FakeFreeSpace disk_;
    testing::FakePointer pointer_;
    ScreenRecorderServices services_{main_, toasts_, capture_, disk_};
    JsonPreferencesStore store_{dir_ / "preferences.json"};
    Preferences preferences_{store_};
    RecordingLibrary library_{LibraryLocation::explicitRoot(dir_ / "Recordings"), main_, toasts_};
    RecordingSelectionStore selection_;
    ScreenRecorder recorder_{services_};
    std::vector<RecordingReply> replies_;
    std::vector<std::pair<RecordingMeta, std::optional<Uuid>>> opened_;
    RecordingFlow flow_{recorder_, library_, selection_, preferences_,
                        [this](const RecordingMeta& meta, const std::optional<Uuid>& target) {
                            opened_.emplace_back(meta, target);
                        }};
};

TEST_F(RecordingFlowTest, AFinishedRecordingIsSelectedOpenedAndReportedOnce) {
    auto r = request(RecordingSourceKind::window);  // no windows: the first display stands in
    const auto target = Uuid::random();
    r.appendTarget = target;
    ASSERT_TRUE(flow_.start(r, catalog()));
    EXPECT_EQ(preferences_.lastUsedSourceID(), "display:7");
    main_.runPending();
    ASSERT_EQ(recorder_.state().phase, Phase::recording);

    // A second request while recording is turned away without disturbing the first.
    EXPECT_FALSE(flow_.start(request(), catalog()));
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].message, "Orvane is already recording.");

    std::this_thread::sleep_for(200ms);
    recorder_.stop();
    ASSERT_EQ(replies_.size(), 2u);
    EXPECT_TRUE(replies_[1].succeeded);
    ASSERT_TRUE(replies_[1].recording);
    ASSERT_EQ(library_.recordings().size(), 1u);
    EXPECT_EQ(library_.recordings()[0].id, replies_[1].recording->id);
    EXPECT_EQ(selection_.selectedRecording()->id, replies_[1].recording->id);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].second, target);
    main_.runPending();  // back to idle: nothing more is said
    EXPECT_EQ(replies_.size(), 2u);
}

TEST_F(RecordingFlowTest, FailuresAreAnsweredWithTheirOwnWords) {
    disk_.bytes = 400'000'000;
    EXPECT_FALSE(flow_.start(request(), catalog()));
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].message, "Recording did not start.");
    recorder_.stop();

    EXPECT_FALSE(flow_.start(request(), SourceCatalogSnapshot{}));
    EXPECT_EQ(replies_.back().message, "No matching recording source was available.");

    // A stop while recording succeeds; a stop while still starting cancels, and the caller is told.
    disk_.bytes.reset();
    ASSERT_TRUE(flow_.start(request(), catalog()));
    main_.runPending();
    recorder_.stop();
    main_.runPending();
    ASSERT_TRUE(flow_.start(request(), catalog()));
    recorder_.stop();  // cancelled while starting
    EXPECT_EQ(replies_.back().message, "Recording did not finish cleanly.");
    EXPECT_EQ(replies_.size(), 4u);
    EXPECT_TRUE(replies_[2].succeeded);
}

}  // namespace
}  // namespace orvane
