#include "export/cache/sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <stdexcept>

namespace orvane {

void Sha256::ContextDeleter::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("cannot start a SHA-256 digest");
    }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size == 0) return;
    if (EVP_DigestUpdate(context_.get(), data, size) != 1) throw std::runtime_error("SHA-256 update failed");
}

std::string Sha256::finishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 final failed");
    std::string hex;
    hex.reserve(2 * length);
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex.append(pair, 2);
    }
    return hex;
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 hash;
    hash.update(bytes);
    return hash.finishHex();
}

bool isSha256Hex(std::string_view text) {
    if (text.size() != 64) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace orvane
