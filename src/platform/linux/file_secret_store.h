#pragma once

#include <filesystem>
#include <mutex>

#include "platform/secret_store.h"
#include "platform/xdg_paths.h"

namespace orvane {

// The keychain without a Secret Service (a bare window manager, a server, CI): one JSON object of
// account -> secret in "<service>.file.v2", readable by the user only (file 0600, folder 0700).
// Several instances, in one process or several, may share the file: every change is a locked
// read-modify-write. A malformed file is kept as "<service>.file.v2.corrupt" before it is replaced.
class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(const std::string& service,
                             std::filesystem::path folder = XdgPaths::orvaneConfigFolder());

    std::optional<std::string> read(const std::string& account) override;
    void write(const std::string& account, const std::string& value) override;
    void remove(const std::string& account) override;
    std::string description() const override;

    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path file_;
    std::mutex mutex_;
};

}  // namespace orvane
