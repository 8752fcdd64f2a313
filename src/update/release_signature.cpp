#include "update/release_signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "base/text.h"

namespace orvane {

namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

constexpr std::size_t kPublicKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

std::optional<std::vector<unsigned char>> decodeBase64(std::string_view text) {
    const std::string trimmed = trimWhitespaceAndNewlines(text);
    if (trimmed.empty() || trimmed.size() % 4 != 0) return std::nullopt;
    std::vector<unsigned char> bytes(trimmed.size() / 4 * 3);
    const int written = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(trimmed.data()),
                                        static_cast<int>(trimmed.size()));
    if (written < 0) return std::nullopt;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t size = static_cast<std::size_t>(written);
    if (trimmed.ends_with("==")) {
        size -= 2;
    } else if (trimmed.ends_with("=")) {
        size -= 1;
    }
    bytes.resize(size);
    return bytes;
}

// The file mapped read-only: Ed25519 signs the message in one pass, and mapping lets a large
// archive be read from the page cache instead of copied into the heap.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& path) {
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
        size_ = static_cast<std::size_t>(info.st_size);
        if (size_ == 0) {
            valid_ = true;
            return;
        }
        void* data = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (data == MAP_FAILED) return;
        data_ = data;
        valid_ = true;
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    bool valid() const { return valid_; }
    const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }
    std::size_t size() const { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
    bool valid_ = false;
};

}  // namespace

bool verifyReleaseSignature(const std::filesystem::path& file, std::string_view signature,
                            std::string_view publicKeyBase64) {
    const auto key = decodeBase64(publicKeyBase64);
    if (!key || key->size() != kPublicKeyBytes) return false;
    std::vector<unsigned char> signatureBytes(signature.begin(), signature.end());
    if (signatureBytes.size() != kSignatureBytes) {
        auto decoded = decodeBase64(signature);
        if (!decoded || decoded->size() != kSignatureBytes) return false;
        signatureBytes = std::move(*decoded);
    }
    std::unique_ptr<EVP_PKEY, KeyDeleter> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key->data(), key->size()));
    if (!publicKey) return false;
    const MappedFile message(file);
    if (!message.valid()) return false;
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1) {
        return false;
    }
    static const unsigned char empty = 0;
    return EVP_DigestVerify(context.get(), signatureBytes.data(), signatureBytes.size(),
                            message.size() ? message.data() : &empty, message.size()) == 1;
}

}  // namespace orvane
