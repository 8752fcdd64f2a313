#include "render/audio/enhanced_voice_file.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(EnhancedVoiceFileTest, KeptCopiesNameTheirOriginal) {
    const std::filesystem::path enhancerOutput = "/tmp/zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a";
    const auto kept = keptEnhancedFilePath("/rec/ID", "/rec/ID/voice take.wav", enhancerOutput);
    EXPECT_EQ(kept, "/rec/ID/voice take.wav.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a");
    EXPECT_EQ(originalOfEnhancedFile(kept), std::filesystem::path("/rec/ID/voice take.wav"));

    // Enhancing a copy again still leads back one step at a time.
    const auto twice = keptEnhancedFilePath("/rec/ID", kept, enhancerOutput);
    EXPECT_EQ(originalOfEnhancedFile(twice), kept);

    // Files that only look similar are nobody's copy.
    for (const char* name : {"/rec/voice.m4a", "/rec/zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1FZ.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.wav",
                             "/rec/a.zant_enhanced_0F1E2D3C+4B5A-6978-8796-A5B4C3D2E1F0.m4a"}) {
        EXPECT_EQ(originalOfEnhancedFile(name), std::nullopt) << name;
    }
}

}  // namespace
}  // namespace orvane
