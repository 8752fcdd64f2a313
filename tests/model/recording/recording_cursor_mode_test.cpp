#include <gtest/gtest.h>

#include "model/recording_cursor_mode.h"

namespace orvane {
namespace {

TEST(RecordingCursorMode, StoredModesNormaliseAndOnlyIconGetsASymbol) {
    EXPECT_EQ(normalizedRecordingCursorMode("system"), RecordingCursorMode::system);
    EXPECT_EQ(normalizedRecordingCursorMode("pointer"), RecordingCursorMode::pointer);
    EXPECT_EQ(normalizedRecordingCursorMode("touch"), RecordingCursorMode::touch);
    for (const char* stored : {"largePointer", "icon", "", "laser", "System", " touch"}) {
        EXPECT_EQ(normalizedRecordingCursorMode(stored), RecordingCursorMode::pointer) << '"' << stored << '"';
    }
    EXPECT_EQ(preferredCursorIconSymbol(*recordingCursorModeFromRaw("icon")), "sparkle");
    EXPECT_FALSE(preferredCursorIconSymbol(RecordingCursorMode::largePointer));
    EXPECT_FALSE(preferredCursorIconSymbol(RecordingCursorMode::system));
}

}  // namespace
}  // namespace orvane
