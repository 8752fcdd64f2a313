#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// Why an update could not be installed. what() is the sentence shown after "Could not install the
// update"; nothing was replaced when one of these is thrown.
class UpdateInstallError : public std::runtime_error {
public:
    enum class Kind {
        downloadFailed,
        invalidAppVersion,
        processFailed,
        missingDownloadURL,
        archiveUnreadable,
        noAppInArchive,
        invalidAppBundle,
        noSigningKey,
    };

    static UpdateInstallError downloadFailed(int status) {
        return {Kind::downloadFailed, "The update download failed with HTTP " + std::to_string(status) + "."};
    }
    static UpdateInstallError invalidAppVersion(const std::string& found, const std::string& expected) {
        return {Kind::invalidAppVersion,
                "The release archive contained " + found + ", but " + expected + " was expected."};
    }
    static UpdateInstallError processFailed(const std::string& command, const std::string& output) {
        std::string message = command + " failed.";
        if (!output.empty()) message += "\n" + output;
        return {Kind::processFailed, message};
    }
    static UpdateInstallError missingDownloadURL() {
        return {Kind::missingDownloadURL, "The update manifest does not include a signed installer URL."};
    }
    static UpdateInstallError archiveUnreadable() {
        return {Kind::archiveUnreadable, "The downloaded release archive could not be unpacked."};
    }
    static UpdateInstallError noAppInArchive() {
        return {Kind::noAppInArchive, "The release archive did not contain Orvane."};
    }
    static UpdateInstallError invalidAppBundle() {
        return {Kind::invalidAppBundle, "The downloaded app bundle did not match Orvane."};
    }
    static UpdateInstallError noSigningKey() {
        return {Kind::noSigningKey, "This Orvane build has no update signing key, so it cannot verify an update."};
    }

    Kind kind() const { return kind_; }

private:
    UpdateInstallError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind_;
};

}  // namespace orvane
