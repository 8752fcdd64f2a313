#include "app/voice_clip_enhancement.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "audio/audio_enhancer.h"
#include "audio/enhanced_voice_file.h"
#include "editor/editor_session.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// The original of a voice clip: the one it remembers, else the one its enhanced copy is named after.
std::optional<fs::path> voiceOriginal(const AudioClip& clip) {
    if (clip.originalPath) return clip.originalPath;
    auto original = originalOfEnhancedFile(clip.path);
    if (original && fs::exists(*original)) return original;
    return std::nullopt;
}

// An enhanced copy that no clip plays any more is removed; originals are never touched.
void removeUnusedEnhancedCopy(const EditorState& state, const fs::path& copy) {
    if (!originalOfEnhancedFile(copy)) return;
    for (const auto& clip : state.values().edit.audio.voiceClips) {
        if (clip.path == copy) return;
    }
    std::error_code ignored;
    fs::remove(copy, ignored);
}

}  // namespace

bool enhanceVoiceClips(EditorSession& session, const std::vector<Uuid>& clipIDs,
                       const AudioEnhancementSettings& settings, bool off) {
    auto& state = session.state();
    std::vector<AudioClip> targets;
    for (const auto& clip : state.values().edit.audio.voiceClips) {
        if (std::find(clipIDs.begin(), clipIDs.end(), clip.id) != clipIDs.end()) targets.push_back(clip);
    }
    bool changed = false;
    std::vector<fs::path> created;
    std::vector<fs::path> replaced;
    try {
        for (const auto& clip : targets) {
            const auto original = voiceOriginal(clip);
            if (off && !original) continue;
            fs::path playing = original.value_or(clip.path);
            if (!off) {
                const auto enhanced = AudioEnhancer().enhance(playing, settings);
                playing = keptEnhancedFilePath(session.folder().directory, original.value_or(clip.path), enhanced);
                std::error_code error;
                fs::rename(enhanced, playing, error);
                if (error) {  // another file system: copy, then drop the temporary file
                    fs::copy_file(enhanced, playing, fs::copy_options::overwrite_existing);
                    fs::remove(enhanced, error);
                }
                created.push_back(playing);
            }
            const bool updated = state.updateVoiceClip(clip.id, [&](AudioClip& c) {
                c.path = playing;
                c.originalPath = off ? std::nullopt : std::optional<fs::path>(original.value_or(clip.path));
            });
            if (updated) replaced.push_back(clip.path);
            changed |= updated;
        }
        if (changed) {
            state.modify([&](EditorValues& v) {
                v.edit.audio.audioEnhancementActive = !off;
                v.edit.audio.audioEnhancementSettings = settings;
            });
            session.saveOrThrow();
        }
    } catch (...) {
        std::error_code ignored;
        for (const auto& file : created) fs::remove(file, ignored);
        throw;
    }
    for (const auto& file : replaced) removeUnusedEnhancedCopy(state, file);
    return changed;
}

}  // namespace orvane
