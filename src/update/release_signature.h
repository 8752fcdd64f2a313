#pragma once

#include <filesystem>
#include <string_view>

namespace orvane {

// Release archives are signed with Ed25519: a 32-byte public key fits in the bundle configuration
// as one Base64 line, signatures are deterministic, and there are no padding or hash parameters for
// a release script and the program to disagree on. The signature is detached: a file of 64 raw
// bytes (or their Base64) published beside the archive as "<archive>.sig".
//
// True only when `signature` is a valid signature of the file's bytes by `publicKeyBase64` (the
// raw 32-byte key, Base64). A malformed key, signature or unreadable file is simply not valid.
bool verifyReleaseSignature(const std::filesystem::path& file, std::string_view signature,
                            std::string_view publicKeyBase64);

}  // namespace orvane
