#include "cloud/signed_upload.h"

#include <openssl/evp.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/uuid.h"
#include "export/share_client.h"
#include "net/service_url.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// The storage bucket of hosted shares, named in every resumable upload's metadata.
constexpr const char* kHostedBucket = "zant-exports";

// A few dropped connections during a long upload are normal on Wi-Fi; more means the network is gone.
constexpr int kMaxResumes = 3;

std::string answerText(const HttpResponse& response, const char* fallback) {
    auto text = trimWhitespaceAndNewlines(response.body);
    // Storage answers {"message": ...} or {"error": ...}; the sentence reads better than the object.
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_object()) {
        for (const char* key : {"message", "error", "detail"}) {
            if (const auto found = json.find(key); found != json.end() && found->is_string()) {
                text = found->get<std::string>();
                break;
            }
        }
    }
    return text.empty() ? std::string(fallback) : text;
}

bool sizeRefused(const HttpResponse& response) {
    if (response.status == 413) return true;
    const auto lower = toLowerAscii(response.body);
    return lower.find("payload too large") != std::string::npos ||
           lower.find("maximum allowed size") != std::string::npos;
}

[[noreturn]] void fail(const HttpResponse& response, const char* fallback) {
    if (sizeRefused(response)) throw ShareTooLargeError(answerText(response, "Payload too large"));
    throw ShareUploadError(answerText(response, fallback));
}

std::uint64_t parseOffset(const HttpResponse& response, const char* failure) {
    const auto header = response.header("Upload-Offset");
    try {
        if (header) return std::stoull(*header);
    } catch (const std::exception&) {
    }
    throw ShareUploadError(failure);
}

void uploadSmall(HttpTransport& transport, const HostedSignedUploadTarget& target, const fs::path& file,
                 const fs::path& temporaryFolder, std::stop_token stop, const HttpUploadProgress& progress) {
    MultipartFileBody body(temporaryFolder);
    body.addFile("file", file.filename().string(), target.contentType, file, stop);
    body.finish();
    HttpRequest request;
    request.method = "PUT";
    request.url = target.signedURL;
    request.headers = {{"Accept", "application/json"}, {"Content-Type", body.contentType()}};
    request.body = HttpFileBody{body.file()};
    request.timeout = std::chrono::seconds(3600);
    request.uploadProgress = progress;
    const auto response = transport.send(request, stop);
    if (!response.ok()) fail(response, "Direct storage upload failed.");
}

void uploadResumable(HttpTransport& transport, const HostedSignedUploadTarget& target, const fs::path& file,
                     std::stop_token stop, const HttpUploadProgress& progress) {
    const auto size = fs::file_size(file);
    const auto endpoint = resumableUploadEndpoint(target.signedURL);
    HttpRequest create;
    create.method = "POST";
    create.url = endpoint;
    create.timeout = std::chrono::seconds(3600);
    create.headers = {
        {"Tus-Resumable", "1.0.0"},
        {"Upload-Length", std::to_string(size)},
        {"x-signature", target.token},
        {"Upload-Metadata", "bucketName " + base64Encode(kHostedBucket) + ",objectName " + base64Encode(target.path) +
                                ",contentType " + base64Encode(target.contentType) + ",cacheControl " +
                                base64Encode("3600")}};
    const auto created = transport.send(create, stop);
    if (!created.ok()) fail(created, "Could not start the resumable upload.");
    auto location = created.header("Location");
    if (!location || location->empty()) throw ShareUploadError("Could not start the resumable upload.");
    // A relative Location names a path on the endpoint's server.
    std::string uploadURL = *location;
    if (!isHttpURL(uploadURL)) {
        URLParts parts;
        parseURL(endpoint, parts);
        uploadURL = parts.scheme + "://" + parts.host + (parts.port.empty() ? "" : ":" + parts.port) +
                    (uploadURL.starts_with("/") ? "" : "/") + uploadURL;
    }

    std::uint64_t offset = 0;
    int resumes = 0;
    while (offset < size) {
        const auto length = std::min<std::uint64_t>(kSingleRequestUploadLimit, size - offset);
        HttpRequest chunk;
        chunk.method = "PATCH";
        chunk.url = uploadURL;
        chunk.timeout = std::chrono::seconds(3600);
        chunk.headers = {{"Tus-Resumable", "1.0.0"},
                         {"Upload-Offset", std::to_string(offset)},
                         {"Content-Type", "application/offset+octet-stream"}};
        chunk.body = HttpFileBody{file, offset, length};
        if (progress) {
            chunk.uploadProgress = [&progress, offset, size](std::uint64_t sent, std::uint64_t) {
                progress(offset + sent, size);
            };
        }
        try {
            const auto answer = transport.send(chunk, stop);
            if (!answer.ok()) fail(answer, "Resumable upload chunk failed.");
            const auto next = parseOffset(answer, "Resumable upload chunk failed.");
            // The server must move forward and never past the end, or the loop would never finish.
            if (next <= offset || next > size) throw ShareUploadError("Resumable upload chunk failed.");
            offset = next;
        } catch (const HttpTransportError& error) {
            if (error.kind() != HttpTransportError::Kind::connectionLost &&
                error.kind() != HttpTransportError::Kind::timedOut) {
                throw;
            }
            if (++resumes > kMaxResumes) throw;
            HttpRequest head;
            head.method = "HEAD";
            head.url = uploadURL;
            head.headers = {{"Tus-Resumable", "1.0.0"}};
            const auto where = transport.send(head, stop);
            if (!where.ok()) throw ShareUploadError("Could not resume upload.");
            const auto resumeAt = parseOffset(where, "Could not resume upload.");
            if (resumeAt > size) throw ShareUploadError("Could not resume upload.");
            offset = resumeAt;
        }
    }
}

}  // namespace

MultipartFileBody::MultipartFileBody(const fs::path& folder)
    : boundary_("ZantBoundary" + Uuid::random().string()),
      file_(folder / ("orvane-multipart-" + Uuid::random().string() + ".body")) {
    out_.reset(std::fopen(file_.c_str(), "wbx"));
    if (!out_) throw ShareUploadError("Could not prepare the upload in " + folder.string() + ".");
}

MultipartFileBody::~MultipartFileBody() {
    out_.reset();
    std::error_code ignored;
    fs::remove(file_, ignored);
}

void MultipartFileBody::write(std::string_view bytes) {
    if (!out_ || std::fwrite(bytes.data(), 1, bytes.size(), out_.get()) != bytes.size()) {
        throw ShareUploadError("Could not prepare the upload: the temporary folder is full or not writable.");
    }
}

void MultipartFileBody::addText(const std::string& name, const std::string& value) {
    write("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n");
}

void MultipartFileBody::addFile(const std::string& name, const std::string& filename, const std::string& contentType,
                                const fs::path& file, std::stop_token stop) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    write("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + filename +
          "\"\r\nContent-Type: " + contentType + "\r\n\r\n");
    std::string buffer(1 << 20, '\0');
    while (in) {
        if (stop.stop_requested()) throw HttpCancelled();
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        write(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    write("\r\n");
}

void MultipartFileBody::finish() {
    write("--" + boundary_ + "--\r\n");
    if (std::fflush(out_.get()) != 0) {
        throw ShareUploadError("Could not prepare the upload: the temporary folder is full or not writable.");
    }
}

std::string resumableUploadEndpoint(const std::string& signedURL) {
    URLParts parts;
    if (!parseURL(signedURL, parts)) throw ShareUploadError("The storage service gave an invalid upload URL.");
    std::string host = parts.host;
    if (host.ends_with(".supabase.co") && !host.ends_with(".storage.supabase.co")) {
        host.insert(host.size() - std::string_view("supabase.co").size(), "storage.");
    }
    return parts.scheme + "://" + host + (parts.port.empty() ? "" : ":" + parts.port) + "/storage/v1/upload/resumable";
}

std::string base64Encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

void uploadToSignedTarget(HttpTransport& transport, const HostedSignedUploadTarget& target, const fs::path& file,
                          const fs::path& temporaryFolder, std::stop_token stop, const HttpUploadProgress& progress) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    if (size < kSingleRequestUploadLimit) {
        uploadSmall(transport, target, file, temporaryFolder, stop, progress);
    } else {
        uploadResumable(transport, target, file, stop, progress);
    }
}

std::string uploadContentType(const std::filesystem::path& file) {
    const auto extension = toLowerAscii(file.extension().string());
    if (extension == ".json") return "application/json";
    if (extension == ".gif") return "image/gif";
    return "video/mp4";
}

}  // namespace orvane
