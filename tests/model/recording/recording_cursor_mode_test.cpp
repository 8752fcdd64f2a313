#include <gtest/gtest.h>

#include "model/recording_cursor_mode.h"

namespace orvane {
namespace {

TEST(RecordingCursorMode, StoredModesNormaliseToTheSelectableThree) {
    EXPECT_EQ(normalizedRecordingCursorMode("system"), RecordingCursorMode::system);
    EXPECT_EQ(normalizedRecordingCursorMode("pointer"), RecordingCursorMode::pointer);
    EXPECT_EQ(normalizedRecordingCursorMode("touch"), RecordingCursorMode::touch);
    for (const char* stored : {"largePointer", "icon", "", "laser", "System", " touch"}) {
        EXPECT_EQ(normalizedRecordingCursorMode(stored), RecordingCursorMode::pointer) << '"' << stored << '"';
    }
}

TEST(RecordingCursorMode, RawValuesAndIconSymbol) {
    for (auto mode : {RecordingCursorMode::system, RecordingCursorMode::pointer, RecordingCursorMode::touch,
                      RecordingCursorMode::largePointer, RecordingCursorMode::icon}) {
        EXPECT_EQ(recordingCursorModeFromRaw(rawValue(mode)), mode);
        EXPECT_EQ(preferredCursorIconSymbol(mode).has_value(), mode == RecordingCursorMode::icon);
    }
    EXPECT_EQ(rawValue(RecordingCursorMode::largePointer), "largePointer");
    EXPECT_EQ(preferredCursorIconSymbol(RecordingCursorMode::icon), "sparkle");
}

}  // namespace
}  // namespace orvane
