#include "net/curl_http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/text.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// An answer larger than this is not a JSON record or an error text; refusing it keeps a broken or
// hostile server from filling memory.
constexpr std::size_t kMaxResponseBytes = 64u * 1024 * 1024;

// The body as libcurl pulls it: a memory buffer or a window of an open file.
struct BodySource {
    std::string_view memory;
    FileHandle file;
    std::uint64_t size = 0;
    std::uint64_t sent = 0;
    bool readFailed = false;
};

struct Transfer {
    BodySource body;
    HttpResponse response;
    std::stop_token stop;
    const HttpUploadProgress* progress = nullptr;
    const HttpDownloadProgress* downloadProgress = nullptr;
    FileHandle responseFile;
    bool tooLarge = false;
    bool responseWriteFailed = false;
};

std::size_t readBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& body = static_cast<Transfer*>(user)->body;
    const std::uint64_t wanted = std::min<std::uint64_t>(size * count, body.size - body.sent);
    if (wanted == 0) return 0;
    std::size_t got = 0;
    if (body.file) {
        got = std::fread(buffer, 1, static_cast<std::size_t>(wanted), body.file.get());
        // A file that shrank under us would send a body shorter than the announced length.
        if (got == 0) {
            body.readFailed = true;
            return CURL_READFUNC_ABORT;
        }
    } else {
        got = static_cast<std::size_t>(wanted);
        std::memcpy(buffer, body.memory.data() + body.sent, got);
    }
    body.sent += got;
    return got;
}

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer.responseFile) {
        if (std::fwrite(data, 1, bytes, transfer.responseFile.get()) != bytes) {
            transfer.responseWriteFailed = true;
            return 0;
        }
        return bytes;
    }
    if (transfer.response.body.size() + bytes > kMaxResponseBytes) {
        transfer.tooLarge = true;
        return 0;
    }
    transfer.response.body.append(data, bytes);
    return bytes;
}

std::size_t writeHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& headers = static_cast<Transfer*>(user)->response.headers;
    const std::size_t bytes = size * count;
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // A new status line (after "100 Continue" or a redirect) starts a new set of headers.
    if (line.starts_with("HTTP/")) {
        headers.clear();
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
        headers.emplace_back(trimWhitespaceAndNewlines(line.substr(0, colon)),
                             trimWhitespaceAndNewlines(line.substr(colon + 1)));
    }
    return bytes;
}

int onProgress(void* user, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t uploadTotal,
               curl_off_t uploaded) {
    auto& transfer = *static_cast<Transfer*>(user);
    // Returning non-zero makes libcurl abandon the transfer; this is how a stop token reaches it.
    if (transfer.stop.stop_requested()) return 1;
    if (transfer.downloadProgress && *transfer.downloadProgress && downloaded > 0) {
        (*transfer.downloadProgress)(static_cast<std::uint64_t>(downloaded),
                                     static_cast<std::uint64_t>(std::max<curl_off_t>(downloadTotal, 0)));
    }
    if (transfer.progress && *transfer.progress && uploadTotal > 0) {
        (*transfer.progress)(static_cast<std::uint64_t>(uploaded), static_cast<std::uint64_t>(uploadTotal));
    }
    return 0;
}

void prepareBody(const HttpRequest& request, BodySource& body) {
    if (const auto* text = std::get_if<std::string>(&request.body)) {
        body.memory = *text;
        body.size = text->size();
        return;
    }
    const auto* file = std::get_if<HttpFileBody>(&request.body);
    if (!file) return;
    const auto unreadable = [&] {
        return HttpTransportError(HttpTransportError::Kind::fileUnreadable,
                                  "The file " + file->file.filename().string() + " could not be read.");
    };
    std::error_code error;
    const auto fileSize = fs::file_size(file->file, error);
    if (error || file->offset > fileSize) throw unreadable();
    body.size = file->length ? std::min(*file->length, fileSize - file->offset) : fileSize - file->offset;
    body.file.reset(std::fopen(file->file.c_str(), "rb"));
    if (!body.file) throw unreadable();
    if (::fseeko(body.file.get(), static_cast<off_t>(file->offset), SEEK_SET) != 0) throw unreadable();
}

[[noreturn]] void throwFor(CURLcode code, const Transfer& transfer, const char* detail) {
    using Kind = HttpTransportError::Kind;
    switch (code) {
        case CURLE_ABORTED_BY_CALLBACK: throw HttpCancelled();
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT: throw HttpTransportError(Kind::cannotConnect, "Could not connect to the server.");
        case CURLE_OPERATION_TIMEDOUT: throw HttpTransportError(Kind::timedOut, "The request timed out.");
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL: throw HttpTransportError(Kind::badURL, "The URL is not valid.");
        case CURLE_READ_ERROR:
            if (transfer.body.readFailed) {
                throw HttpTransportError(Kind::fileUnreadable, "The file being uploaded could not be read.");
            }
            break;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING: throw HttpTransportError(Kind::connectionLost, "The network connection was lost.");
        case CURLE_WRITE_ERROR:
            if (transfer.responseWriteFailed) {
                throw HttpTransportError(Kind::other, "The download could not be written to disk.");
            }
            if (transfer.tooLarge) throw HttpTransportError(Kind::other, "The server's answer was too large.");
            break;
        default: break;
    }
    throw HttpTransportError(
        Kind::other, std::string("The request failed: ") + (detail && *detail ? detail : curl_easy_strerror(code)));
}

void check(CURLcode code) {
    // Setting an option only fails for a libcurl built without it, which the build rules out.
    if (code != CURLE_OK) throw HttpTransportError(HttpTransportError::Kind::other, curl_easy_strerror(code));
}

}  // namespace

std::optional<std::string> findHeader(const HttpHeaders& headers, std::string_view name) {
    const auto wanted = toLowerAscii(name);
    for (const auto& [key, value] : headers) {
        if (toLowerAscii(key) == wanted) return value;
    }
    return std::nullopt;
}

CurlHttpTransport::CurlHttpTransport() {
    // Not thread-safe in itself, so done once before any transfer.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttpTransport::send(const HttpRequest& request, std::stop_token stop) {
    if (stop.stop_requested()) throw HttpCancelled();
    EasyHandle easy(curl_easy_init());
    if (!easy) throw HttpTransportError(HttpTransportError::Kind::other, "Could not start a network request.");
    CURL* handle = easy.get();

    Transfer transfer;
    transfer.stop = stop;
    transfer.progress = &request.uploadProgress;
    transfer.downloadProgress = &request.downloadProgress;
    prepareBody(request, transfer.body);
    if (request.responseFile) {
        transfer.responseFile.reset(std::fopen(request.responseFile->c_str(), "wb"));
        if (!transfer.responseFile) {
            throw HttpTransportError(HttpTransportError::Kind::other, "The download could not be written to disk.");
        }
    }
    const bool hasBody = !std::holds_alternative<std::monostate>(request.body);

    HeaderList headers;
    auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (!grown) throw std::bad_alloc();
        (void)headers.release();
        headers.reset(grown);
    };
    for (const auto& [name, value] : request.headers) {
        // An empty value would make libcurl drop the header; "Name;" sends it empty.
        append(value.empty() ? name + ";" : name + ": " + value);
    }
    // libcurl would otherwise pause large bodies waiting for "100 Continue", which some servers never send.
    append("Expect:");

    char errorText[CURL_ERROR_SIZE] = {};
    check(curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText));
    check(curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str()));
    check(curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L));
    check(curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get()));
    check(curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""));
    const long timeoutMs = static_cast<long>(request.timeout.count());
    check(curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs));
    check(curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, std::min(timeoutMs, 30'000L)));

    if (request.method == "HEAD") {
        check(curl_easy_setopt(handle, CURLOPT_NOBODY, 1L));
    } else if (hasBody) {
        // POST mechanics with the method renamed: libcurl then sends Content-Length and streams the
        // body through the read callback for PUT and PATCH alike.
        check(curl_easy_setopt(handle, CURLOPT_POST, 1L));
        check(curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer.body.size)));
        check(curl_easy_setopt(handle, CURLOPT_READFUNCTION, readBody));
        check(curl_easy_setopt(handle, CURLOPT_READDATA, &transfer));
        if (request.method != "POST") check(curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str()));
    } else if (request.method == "POST") {
        check(curl_easy_setopt(handle, CURLOPT_POST, 1L));
        check(curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0}));
        check(curl_easy_setopt(handle, CURLOPT_POSTFIELDS, ""));
    } else if (request.method != "GET") {
        check(curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str()));
    }

    check(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, writeBody));
    check(curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer));
    check(curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, writeHeader));
    check(curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer));
    check(curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L));
    check(curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress));
    check(curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer));

    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        if (stop.stop_requested()) throw HttpCancelled();
        throwFor(code, transfer, errorText);
    }
    // Buffered bytes reach the disk here; a full disk may only show now.
    if (transfer.responseFile && std::fclose(transfer.responseFile.release()) != 0) {
        throw HttpTransportError(HttpTransportError::Kind::other, "The download could not be written to disk.");
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    transfer.response.status = static_cast<int>(status);
    return std::move(transfer.response);
}

std::shared_ptr<HttpTransport> makeHttpTransport() { return std::make_shared<CurlHttpTransport>(); }

}  // namespace orvane
