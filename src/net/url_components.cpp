#include "net/url_components.h"

#include <curl/curl.h>

#include <memory>

#include "base/text.h"
#include "net/service_url.h"

namespace orvane {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

// A part of a parsed URL; nothing when the URL lacks it.
std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, flags) != CURLUE_OK || raw == nullptr) return std::nullopt;
    CurlString owned(raw);
    return std::string(raw);
}

UrlHandle parsed(const std::string& text) {
    UrlHandle url(curl_url());
    if (!url) return nullptr;
    // Our own schemes are unknown to libcurl; without this flag it would refuse them.
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return nullptr;
    return url;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
    int length = 0;
    char* raw = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
    if (raw == nullptr) return std::nullopt;
    CurlString owned(raw);
    std::string decoded(raw, static_cast<std::size_t>(length));
    if (decoded.find('\0') != std::string::npos) return std::nullopt;
    return decoded;
}

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
    const std::string owned(text);
    if (owned.find('\0') != std::string::npos) return std::nullopt;
    const UrlHandle url = parsed(owned);
    if (!url) return std::nullopt;
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    if (!scheme) return std::nullopt;

    URLComponents components;
    components.original_ = owned;
    components.scheme_ = toLowerAscii(*scheme);
    if (auto host = part(url.get(), CURLUPART_HOST)) {
        if (host->size() >= 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
        components.host_ = std::move(*host);
    }
    if (auto path = part(url.get(), CURLUPART_PATH)) {
        auto decoded = percentDecode(*path);
        if (!decoded) return std::nullopt;
        components.path_ = std::move(*decoded);
    }
    components.query_ = part(url.get(), CURLUPART_QUERY);
    return components;
}

std::vector<QueryItem> URLComponents::queryItems() const {
    std::vector<QueryItem> items;
    if (!query_) return items;
    std::string_view rest = *query_;
    while (true) {
        const auto end = rest.find('&');
        const std::string_view item = rest.substr(0, end);
        if (!item.empty()) {
            const auto equals = item.find('=');
            auto name = percentDecode(item.substr(0, equals));
            auto value = equals == std::string_view::npos ? std::optional<std::string>("")
                                                          : percentDecode(item.substr(equals + 1));
            // An item that does not decode is skipped, the way a lenient reader would drop it.
            if (name && value) items.push_back({std::move(*name), std::move(*value)});
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return items;
}

std::optional<std::string> URLComponents::queryValue(std::string_view name) const {
    for (auto& item : queryItems()) {
        if (item.name == name) return std::move(item.value);
    }
    return std::nullopt;
}

void URLComponents::replaceQueryItems(const std::vector<QueryItem>& items) {
    std::string query;
    auto append = [&query](std::string_view raw) {
        if (!query.empty()) query += '&';
        query += raw;
    };
    if (query_) {
        std::string_view rest = *query_;
        while (true) {
            const auto end = rest.find('&');
            const std::string_view raw = rest.substr(0, end);
            const auto name = percentDecode(raw.substr(0, raw.find('=')));
            bool replaced = false;
            for (const auto& item : items) replaced = replaced || (name && *name == item.name);
            if (!raw.empty() && !replaced) append(raw);
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
    }
    for (const auto& item : items) append(percentEncode(item.name) + "=" + percentEncode(item.value));
    query_ = std::move(query);
}

std::string URLComponents::string() const {
    // Rebuilt from the original text rather than by libcurl, which would normalise it (add a "/"
    // path to "agent://done"); the caller's address is given back as written, only the query new.
    const auto queryStart = original_.find_first_of("?#");
    std::string url = original_.substr(0, queryStart);
    if (query_) url += "?" + *query_;
    if (const auto fragment = original_.find('#'); fragment != std::string::npos) url += original_.substr(fragment);
    return url;
}

std::string fileURL(std::string_view absolutePath) {
    std::string url = "file://";
    std::string_view rest = absolutePath;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        url += percentEncode(rest.substr(0, slash));
        if (slash == std::string_view::npos) break;
        url += '/';
        rest.remove_prefix(slash + 1);
    }
    return url;
}

}  // namespace orvane
