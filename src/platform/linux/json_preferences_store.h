#pragma once

#include <filesystem>
#include <memory>

#include "platform/preferences_store.h"

namespace orvane {

// The preferences store on Linux: one JSON object in `$XDG_CONFIG_HOME/Orvane/preferences.json`.
//
// Every set() and remove() rewrites the file atomically under a lock on its folder, after taking in
// whatever another process wrote, so the CLI and the desktop app never undo each other's changes. Every
// get() first checks the file's identity, size and modification time and re-reads it when they moved,
// so another process's change is seen at once.
//
// A malformed file reads as empty and is left exactly as it is until the next set(), which first keeps
// a copy of it as "preferences.json.corrupt". Entries of kinds the store does not use (arrays, objects)
// are carried along untouched.
class JsonPreferencesStore final : public PreferencesStore {
public:
    static std::filesystem::path defaultFile();

    explicit JsonPreferencesStore(std::filesystem::path file = defaultFile());
    JsonPreferencesStore(const JsonPreferencesStore&) = delete;
    JsonPreferencesStore& operator=(const JsonPreferencesStore&) = delete;
    ~JsonPreferencesStore() override;

    std::optional<PreferenceValue> get(std::string_view key) const override;
    void set(std::string_view key, PreferenceValue value) override;
    void remove(std::string_view key) override;

    // Takes in another process's change and tells observers which keys it touched. get() alone sees the
    // new values too; this is for views that must redraw. Call on the owner's executor.
    void refresh();

    const std::filesystem::path& file() const { return file_; }
    std::filesystem::path corruptCopyFile() const;

private:
    struct State;

    std::filesystem::path file_;
    std::unique_ptr<State> state_;
};

}  // namespace orvane
