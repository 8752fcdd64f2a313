#include "net/service_url.h"

#include <cstdlib>

#include "base/text.h"

namespace orvane {

std::string serviceBaseURL(std::string_view name, std::string_view configured) {
    const std::string variable = "ORVANE_SERVICE_URL_" + std::string(name);
    if (const char* value = std::getenv(variable.c_str())) {
        auto trimmed = trimWhitespaceAndNewlines(value);
        if (!trimmed.empty()) return trimmed;
    }
    return std::string(configured);
}

std::string trimTrailingSlashes(std::string_view base) {
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    return std::string(base);
}

std::string percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string joinURL(std::string_view base, const std::vector<std::string>& segments, const QueryItems& query) {
    std::string url = trimTrailingSlashes(base);
    for (const auto& segment : segments) {
        if (segment.empty()) continue;
        url += '/';
        url += percentEncode(segment);
    }
    char separator = '?';
    for (const auto& [name, value] : query) {
        url += separator;
        url += percentEncode(name);
        url += '=';
        url += percentEncode(value);
        separator = '&';
    }
    return url;
}

bool parseURL(std::string_view url, URLParts& parts) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return false;
    parts.scheme = toLowerAscii(url.substr(0, schemeEnd));
    if (parts.scheme != "http" && parts.scheme != "https") return false;
    std::string_view rest = url.substr(schemeEnd + 3);
    const auto authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    // User information never belongs in a service URL; refusing it keeps credentials out of URLs.
    if (authority.find('@') != std::string_view::npos) return false;
    const auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
        parts.host = std::string(authority.substr(0, colon));
        parts.port = std::string(authority.substr(colon + 1));
        if (parts.port.empty() || parts.port.find_first_not_of("0123456789") != std::string::npos) return false;
    } else {
        parts.host = std::string(authority);
        parts.port.clear();
    }
    if (parts.host.empty() || parts.host.find_first_of(" \t\r\n") != std::string::npos) return false;
    const auto hash = rest.find('#');
    if (hash != std::string_view::npos) rest = rest.substr(0, hash);
    const auto question = rest.find('?');
    parts.path = std::string(rest.substr(0, question));
    parts.query = question == std::string_view::npos ? std::string() : std::string(rest.substr(question + 1));
    return true;
}

bool isHttpURL(std::string_view url) {
    URLParts parts;
    return parseURL(url, parts);
}

}  // namespace orvane
