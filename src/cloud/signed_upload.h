#pragma once

// Sending one file to a signed storage target: a single multipart PUT for small files, the
// resumable (tus 1.0.0) protocol for large ones.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <stop_token>
#include <string>

#include "cloud/remote_api_client.h"
#include "net/http_transport.h"

namespace orvane {

// Files of this size and above go by the resumable protocol, in chunks of this size.
inline constexpr std::uint64_t kSingleRequestUploadLimit = 6u * 1024 * 1024;

// An upload the storage service refused or that could not be finished. what() is shown to the user.
class ShareUploadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A multipart/form-data body spooled to "orvane-multipart-<UUID>.body" in `folder`, so a large file
// is streamed rather than held in memory. The file is removed when the body goes away, whatever
// happened to the upload.
class MultipartFileBody {
public:
    explicit MultipartFileBody(const std::filesystem::path& folder);
    MultipartFileBody(const MultipartFileBody&) = delete;
    MultipartFileBody& operator=(const MultipartFileBody&) = delete;
    ~MultipartFileBody();

    void addText(const std::string& name, const std::string& value);
    void addFile(const std::string& name, const std::string& filename, const std::string& contentType,
                 const std::filesystem::path& file, std::stop_token stop = {});
    // Writes the closing boundary and flushes; throws ShareUploadError when the disk refused a write.
    void finish();

    const std::string& boundary() const { return boundary_; }
    const std::filesystem::path& file() const { return file_; }
    std::string contentType() const { return "multipart/form-data; boundary=" + boundary_; }

private:
    void write(std::string_view bytes);

    std::string boundary_;
    std::filesystem::path file_;
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> out_;
};

// The resumable endpoint for a signed URL: the same host (a Supabase project host gains its storage
// subdomain), path /storage/v1/upload/resumable, no query.
std::string resumableUploadEndpoint(const std::string& signedURL);

// Base64 of `bytes` (standard alphabet, padded).
std::string base64Encode(std::string_view bytes);

// The MIME type a share upload declares for a file: the edit sidecar, a GIF or the video.
std::string uploadContentType(const std::filesystem::path& file);

// Sends `file` to `target`. Throws ShareUploadError, ShareTooLargeError, HttpTransportError or HttpCancelled.
void uploadToSignedTarget(HttpTransport& transport, const HostedSignedUploadTarget& target,
                          const std::filesystem::path& file, const std::filesystem::path& temporaryFolder,
                          std::stop_token stop, const HttpUploadProgress& progress = {});

}  // namespace orvane
