#pragma once

// Absolute URLs of any scheme (our own deep-link schemes, http, file), taken apart and put back
// together by libcurl's URL parser rather than by hand, so odd input is judged the way the
// transport will judge it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

// One query item as written: name and value percent-decoded. An item without "=" has an empty value.
struct QueryItem {
    std::string name;
    std::string value;
};

class URLComponents {
public:
    // Nothing when `text` is not an absolute URL (a scheme is required; spaces and control characters
    // are refused).
    static std::optional<URLComponents> parse(std::string_view text);

    // Lower-cased.
    const std::string& scheme() const { return scheme_; }
    // As written, without the brackets of an IPv6 address; empty when the URL has none.
    const std::string& host() const { return host_; }
    // Percent-decoded; empty when the URL has none.
    const std::string& path() const { return path_; }
    bool hasQuery() const { return query_.has_value(); }
    std::vector<QueryItem> queryItems() const;
    // The value of the first item named `name`.
    std::optional<std::string> queryValue(std::string_view name) const;

    // Drops every item whose name is one of `items`' names, then appends `items` in order; the other
    // items keep their original spelling.
    void replaceQueryItems(const std::vector<QueryItem>& items);

    // The URL as it was written, with the query as it is now.
    std::string string() const;

private:
    URLComponents() = default;

    std::string original_;
    std::string scheme_;
    std::string host_;
    std::string path_;
    std::optional<std::string> query_;  // raw, percent-encoded, without "?"
};

// Decodes %XX escapes; "+" stays "+" as in a URL's query (this is not form encoding). Nothing when an
// escape decodes to a NUL byte.
std::optional<std::string> percentDecode(std::string_view text);

// "file://" + the absolute path, each segment percent-encoded.
std::string fileURL(std::string_view absolutePath);

}  // namespace orvane
