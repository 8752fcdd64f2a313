#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace orvane {

// Incremental SHA-256 (OpenSSL EVP). Throws std::runtime_error when OpenSSL refuses a step.
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();

    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    // The digest as 64 lowercase hexadecimal digits ("%02x" per byte). Ends the hash.
    std::string finishHex();

private:
    struct ContextDeleter {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> context_;
};

std::string sha256Hex(std::string_view bytes);

// True for exactly 64 lowercase hexadecimal digits, the only form a stored digest may take.
bool isSha256Hex(std::string_view text);

}  // namespace orvane
