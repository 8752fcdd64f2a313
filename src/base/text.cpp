#include "base/text.h"

#include <array>

namespace orvane {

namespace {

// Length in bytes of the UTF-8 white space sequence at the start of `text`, or 0.
std::size_t whitespaceAt(std::string_view text) {
    if (text.empty()) return 0;
    const auto c = static_cast<unsigned char>(text[0]);
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return 1;
    static constexpr std::array<std::string_view, 8> multiByte = {
        "\xC2\x85", "\xC2\xA0", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
        "\xEF\xBB\xBF"};
    for (auto ws : multiByte) {
        if (text.substr(0, ws.size()) == ws) return ws.size();
    }
    // U+2000 ... U+200A
    if (text.size() >= 3 && c == 0xE2 && static_cast<unsigned char>(text[1]) == 0x80) {
        const auto third = static_cast<unsigned char>(text[2]);
        if (third >= 0x80 && third <= 0x8A) return 3;
    }
    return 0;
}

std::size_t whitespaceBefore(std::string_view text) {
    for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
        const auto tail = text.substr(text.size() - length);
        if (whitespaceAt(tail) == length) return length;
    }
    return 0;
}

}  // namespace

std::string trimWhitespaceAndNewlines(std::string_view text) {
    while (auto n = whitespaceAt(text)) text.remove_prefix(n);
    while (auto n = whitespaceBefore(text)) text.remove_suffix(n);
    return std::string(text);
}

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace orvane
