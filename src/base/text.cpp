#include "base/text.h"

#include <array>
#include <cstdio>

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

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and its code point; 0 when
// the first byte does not start one (overlong forms and surrogates included).
std::size_t decodeUtf8(std::string_view text, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    // Sequence length, payload bits of the lead byte, and the smallest code point of that length.
    struct Form {
        unsigned char mask, pattern, payload;
        std::size_t length;
        char32_t minimum;
    };
    static constexpr std::array<Form, 3> kForms{
        {{0xE0, 0xC0, 0x1F, 2, 0x80}, {0xF0, 0xE0, 0x0F, 3, 0x800}, {0xF8, 0xF0, 0x07, 4, 0x10000}}};
    const Form* form = nullptr;
    for (const auto& candidate : kForms) {
        if ((lead & candidate.mask) == candidate.pattern) form = &candidate;
    }
    if (!form) return 0;
    const std::size_t length = form->length;
    const char32_t minimum = form->minimum;
    codePoint = lead & form->payload;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool isUnsafeOnTerminal(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string terminalSafeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[16];
    while (!text.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(text, codePoint);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[0])));
            out += escape;
            text.remove_prefix(1);
            continue;
        }
        if (isUnsafeOnTerminal(codePoint)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(codePoint));
            out += escape;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::string replaceAllIgnoringCase(const std::string& text, std::string_view needle, std::string_view replacement) {
    const std::string lower = toLowerAscii(text);
    const std::string lowerNeedle = toLowerAscii(needle);
    std::string out;
    std::size_t from = 0;
    for (auto at = lower.find(lowerNeedle); at != std::string::npos; at = lower.find(lowerNeedle, from)) {
        out.append(text, from, at - from);
        out += replacement;
        from = at + needle.size();
    }
    out.append(text, from);
    return out;
}

}  // namespace orvane
