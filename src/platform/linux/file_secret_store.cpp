#include "platform/linux/file_secret_store.h"

#include <nlohmann/json.hpp>
#include <system_error>

#include "base/atomic_file.h"
#include "base/folder_lock.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

constexpr unsigned kFileMode = 0600;

// The file's accounts, or nothing when it is not a JSON object. A missing file is an empty store.
std::optional<nlohmann::json> parseSecrets(const std::optional<std::string>& contents) {
    if (!contents) return nlohmann::json::object();
    auto parsed = nlohmann::json::parse(*contents, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

}  // namespace

FileSecretStore::FileSecretStore(const std::string& service, std::filesystem::path folder)
    : folder_(std::move(folder)), file_(folder_ / (service + ".file.v2")) {}

std::optional<std::string> FileSecretStore::read(const std::string& account) {
    std::lock_guard lock(mutex_);
    FolderLock folderLock(folder_, FolderLock::Mode::shared);
    if (!std::filesystem::exists(file_)) return std::nullopt;
    const auto contents = readFileContents(file_, kSmallFileLimit);
    if (!contents) throw SecretStoreError("Could not read the secret file " + file_.string() + ".");
    const auto secrets = parseSecrets(contents);
    if (!secrets) throw SecretStoreError("The secret file " + file_.string() + " is not valid JSON.");
    const auto found = secrets->find(account);
    if (found == secrets->end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

void FileSecretStore::write(const std::string& account, const std::string& value) {
    std::lock_guard lock(mutex_);
    const auto fail = [&](const std::string& why) {
        return SecretStoreError("Could not save the secret \"" + account + "\" to " + file_.string() + ": " + why);
    };
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) throw fail(error.message());
    // Nobody else may even list which secrets exist.
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                 error);
    if (error) throw fail(error.message());

    FolderLock folderLock(folder_, FolderLock::Mode::exclusive);
    const bool exists = std::filesystem::exists(file_);
    const auto contents = exists ? readFileContents(file_, kSmallFileLimit) : std::nullopt;
    if (exists && !contents) throw fail("the existing file cannot be read");
    auto secrets = parseSecrets(contents);
    try {
        if (!secrets) {
            auto copy = file_;
            copy += ".corrupt";
            writeFileAtomically(copy, *contents, kFileMode);
            log::warning(log_area::kKeychain, "replacing malformed %s; its contents were kept in %s", file_.c_str(),
                         copy.c_str());
            secrets = nlohmann::json::object();
        }
        (*secrets)[account] = value;
        writeFileAtomically(file_, secrets->dump(2) + "\n", kFileMode);
    } catch (const std::system_error& failure) {
        throw fail(failure.what());
    }
}

void FileSecretStore::remove(const std::string& account) {
    std::lock_guard lock(mutex_);
    FolderLock folderLock(folder_, FolderLock::Mode::exclusive);
    if (!std::filesystem::exists(file_)) return;
    const auto contents = readFileContents(file_, kSmallFileLimit);
    if (!contents) throw SecretStoreError("Could not read the secret file " + file_.string() + ".");
    auto secrets = parseSecrets(contents);
    if (!secrets) throw SecretStoreError("The secret file " + file_.string() + " is not valid JSON.");
    if (secrets->erase(account) == 0) return;
    try {
        writeFileAtomically(file_, secrets->dump(2) + "\n", kFileMode);
    } catch (const std::system_error& failure) {
        throw SecretStoreError("Could not remove the secret \"" + account + "\" from " + file_.string() + ": " +
                               failure.what());
    }
}

std::string FileSecretStore::description() const { return "file " + file_.string(); }

}  // namespace orvane
