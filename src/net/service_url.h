#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

// The base URL of a named outside service: $ORVANE_SERVICE_URL_<NAME> when set and not blank, else
// `configured`. Lets a test (or a developer) point one service at a local server without touching
// the user's preferences. Names are upper case: API, AUTH, SHARE_SUPABASE, SPEECH.
std::string serviceBaseURL(std::string_view name, std::string_view configured);

// `base` without trailing slashes.
std::string trimTrailingSlashes(std::string_view base);

// Percent-encodes one path segment or query value (RFC 3986 unreserved characters stay).
std::string percentEncode(std::string_view text);

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// base + "/" + each segment percent-encoded + "?" + encoded query items. Empty segments are skipped.
std::string joinURL(std::string_view base, const std::vector<std::string>& segments, const QueryItems& query = {});

// The parts of an absolute http(s) URL; nothing for anything else.
struct URLParts {
    std::string scheme;
    std::string host;  // without the port
    std::string port;  // empty when none was given
    std::string path;  // starts with "/" (or is empty)
    std::string query;
};
bool parseURL(std::string_view url, URLParts& parts);
// True for an absolute http or https URL with a host.
bool isHttpURL(std::string_view url);

}  // namespace orvane
