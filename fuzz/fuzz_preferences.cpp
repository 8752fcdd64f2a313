// preferences.json, through the store the CLI and the desktop app share: every typed accessor reads
// the file, then one setting is saved. A malformed file must be kept aside byte for byte, and a valid
// one must keep every other setting it held.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/preferences.h"
#include "fuzz/fuzz_support.h"
#include "platform/linux/json_preferences_store.h"

using namespace orvane;
namespace fs = std::filesystem;

namespace {

// A folder of this process's own; /dev/shm when there is one, so the store's fsyncs cost nothing.
fs::path scratchFolder() {
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    auto folder = base / ("orvane-fuzz-preferences-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = scratchFolder();
    const fs::path file = folder / "preferences.json";
    const auto text = fuzz::text(data, size);
    fs::remove(folder / "preferences.json.corrupt");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    JsonPreferencesStore store(file);
    Preferences preferences(store);
    const auto before = preferences.list();
    for (const auto& entry : before) {
        if (entry.value) (void)formatPreferenceValue(*entry.value);
    }
    (void)preferences.shareBackendMode();
    (void)preferences.byoBackendURL();
    (void)preferences.byoShareHost();
    (void)preferences.shareMaxUploadMB();
    (void)preferences.apiBaseURLOverride();

    preferences.setFromString(preference_keys::defaultMicOn, "true");
    if (fs::exists(store.corruptCopyFile())) {
        fuzz::require(readAll(store.corruptCopyFile()) == text, "the copy of a malformed preferences file differs");
    }
    const auto after = preferences.list();
    fuzz::require(after.size() == before.size(), "saving a preference changed the list of preferences");
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i].key == preference_keys::defaultMicOn) continue;
        fuzz::require(after[i].value == before[i].value, "saving one preference changed another");
    }
    fuzz::require(preferences.defaultMicOn(), "a saved preference does not read back");
    return 0;
}
