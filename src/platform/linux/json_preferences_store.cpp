#include "platform/linux/json_preferences_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>
#include <vector>

#include "base/atomic_file.h"
#include "base/folder_lock.h"
#include "base/json_depth.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/xdg_paths.h"

namespace orvane {

namespace {

// Preferences hold the signed-in account's e-mail and cached profile: readable by the user only.
constexpr unsigned kFileMode = 0600;

// What identifies one version of the file. The inode changes with every atomic replace, so two writes
// within one timestamp tick that happen to keep the size are still told apart.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        // Any other failure (a folder we may not search) still counts as a file that is there, so reading
        // it reports the trouble instead of silently treating the settings as never made.
        return FileStamp{.exists = errno != ENOENT};
    }
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size, static_cast<long long>(info.st_mtim.tv_sec),
                     info.st_mtim.tv_nsec};
}

enum class Condition { missing, valid, malformed, unreadable };

std::optional<PreferenceValue> toPreferenceValue(const nlohmann::json& value) {
    if (value.is_string()) return PreferenceValue(value.get<std::string>());
    if (value.is_boolean()) return PreferenceValue(value.get<bool>());
    if (value.is_number()) return PreferenceValue(value.get<double>());
    return std::nullopt;
}

nlohmann::json toJSON(const PreferenceValue& value) {
    return std::visit([](const auto& v) { return nlohmann::json(v); }, value);
}

}  // namespace

struct JsonPreferencesStore::State {
    std::mutex mutex;
    nlohmann::json document = nlohmann::json::object();
    Condition condition = Condition::missing;
    std::optional<FileStamp> stamp;  // of the version `document` was read from; none before the first read

    // Re-reads the file when it is not the version last read. Returns whether it did.
    bool reloadIfChanged(const std::filesystem::path& file) {
        const FileStamp now = stampOf(file);
        if (stamp && *stamp == now) return false;
        stamp = now;
        document = nlohmann::json::object();
        if (!now.exists) {
            condition = Condition::missing;
            return true;
        }
        const auto contents = readFileContents(file, kSmallFileLimit);
        if (!contents) {
            log::skippedFile(log_area::kConfig, "preferences file", file, "unreadable file",
                             "using default preferences");
            condition = Condition::unreadable;
            return true;
        }
        auto parsed = parseJsonWithinDepth<nlohmann::json>(*contents);
        if (parsed.is_discarded() || !parsed.is_object()) {
            log::skippedFile(log_area::kConfig, "preferences file", file, "malformed JSON",
                             "using default preferences and leaving the file untouched");
            condition = Condition::malformed;
            return true;
        }
        document = std::move(parsed);
        condition = Condition::valid;
        return true;
    }
};

std::filesystem::path JsonPreferencesStore::defaultFile() {
    return XdgPaths::orvaneConfigFolder() / "preferences.json";
}

JsonPreferencesStore::JsonPreferencesStore(std::filesystem::path file)
    : file_(std::move(file)), state_(std::make_unique<State>()) {}

JsonPreferencesStore::~JsonPreferencesStore() = default;

std::filesystem::path JsonPreferencesStore::corruptCopyFile() const {
    auto copy = file_;
    copy += ".corrupt";
    return copy;
}

std::optional<PreferenceValue> JsonPreferencesStore::get(std::string_view key) const {
    std::lock_guard lock(state_->mutex);
    state_->reloadIfChanged(file_);
    const auto found = state_->document.find(key);
    if (found == state_->document.end()) return std::nullopt;
    return toPreferenceValue(*found);
}

void JsonPreferencesStore::set(std::string_view key, PreferenceValue value) {
    const std::string name(key);
    if (const auto* number = std::get_if<double>(&value); number && !std::isfinite(*number)) {
        throw PreferencesError("The preference \"" + name + "\" must be a finite number.");
    }
    {
        std::lock_guard lock(state_->mutex);
        const auto folder = file_.parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            throw PreferencesError("Could not save the preference \"" + name + "\": cannot create " +
                                   folder.string() + ": " + error.message());
        }
        FolderLock folderLock(folder, FolderLock::Mode::exclusive);
        // Start from what is on disk now, so a change another process just made is kept.
        state_->reloadIfChanged(file_);

        if (state_->condition == Condition::unreadable) {
            throw PreferencesError("Could not save the preference \"" + name + "\": " + file_.string() +
                                   " cannot be read, and replacing it could lose settings.");
        }
        if (state_->condition == Condition::malformed) {
            const auto contents = readFileContents(file_, kSmallFileLimit);
            try {
                if (!contents) throw std::runtime_error("cannot read it");
                writeFileAtomically(corruptCopyFile(), *contents, kFileMode);
            } catch (const std::exception& failure) {
                throw PreferencesError("Could not save the preference \"" + name + "\": cannot keep a copy of the " +
                                       "malformed " + file_.string() + ": " + failure.what());
            }
            log::warning(log_area::kConfig, "replacing malformed %s; its contents were kept in %s", file_.c_str(),
                         corruptCopyFile().c_str());
        }

        auto updated = state_->document;
        updated[name] = toJSON(value);
        try {
            writeFileAtomically(file_, updated.dump(2) + "\n", kFileMode);
        } catch (const std::system_error& failure) {
            throw PreferencesError("Could not save the preference \"" + name + "\": " + failure.what());
        }
        state_->document = std::move(updated);
        state_->condition = Condition::valid;
        state_->stamp = stampOf(file_);
    }
    notifyChanged(name);
}

void JsonPreferencesStore::remove(std::string_view key) {
    const std::string name(key);
    {
        std::lock_guard lock(state_->mutex);
        FolderLock folderLock(file_.parent_path(), FolderLock::Mode::exclusive);
        state_->reloadIfChanged(file_);
        // Nothing to remove, and a malformed file must not be replaced by anything but a real change.
        if (state_->condition != Condition::valid || !state_->document.contains(name)) return;

        auto updated = state_->document;
        updated.erase(name);
        try {
            writeFileAtomically(file_, updated.dump(2) + "\n", kFileMode);
        } catch (const std::system_error& failure) {
            throw PreferencesError("Could not remove the preference \"" + name + "\": " + failure.what());
        }
        state_->document = std::move(updated);
        state_->stamp = stampOf(file_);
    }
    notifyChanged(name);
}

void JsonPreferencesStore::refresh() {
    std::vector<std::string> changedKeys;
    {
        std::lock_guard lock(state_->mutex);
        const auto before = state_->document;
        if (!state_->reloadIfChanged(file_)) return;
        const auto& after = state_->document;
        std::set<std::string> keys;
        for (const auto& [key, value] : before.items()) keys.insert(key);
        for (const auto& [key, value] : after.items()) keys.insert(key);
        for (const auto& key : keys) {
            const auto old = before.find(key);
            const auto now = after.find(key);
            const bool hadOld = old != before.end();
            const bool hasNow = now != after.end();
            if (hadOld != hasNow || (hadOld && *old != *now)) changedKeys.push_back(key);
        }
    }
    for (const auto& key : changedKeys) notifyChanged(key);
}

}  // namespace orvane
