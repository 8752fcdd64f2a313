#include "base/iso8601.h"

#include <cstdio>

namespace orvane {

using namespace std::chrono;

std::string formatIso8601(SystemTime time) {
    const auto secondsSinceEpoch = floor<seconds>(time);
    const auto day = floor<days>(secondsSinceEpoch);
    const year_month_day date{day};
    const hh_mm_ss clock{secondsSinceEpoch - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                  static_cast<long>(clock.seconds().count()));
    return buffer;
}

namespace {
bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& out) {
    if (pos + count > text.size()) return false;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}
}  // namespace

std::optional<SystemTime> parseIso8601(std::string_view text) {
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !expect(text, pos, '-') || !readDigits(text, pos, 2, d) || !expect(text, pos, 'T') ||
        !readDigits(text, pos, 2, h) || !expect(text, pos, ':') || !readDigits(text, pos, 2, mi) ||
        !expect(text, pos, ':') || !readDigits(text, pos, 2, s)) {
        return std::nullopt;
    }
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;

    nanoseconds fraction{0};
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        long long scale = 100'000'000;
        std::size_t digitsRead = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fraction += nanoseconds{(text[pos] - '0') * scale};
            scale /= 10;
            ++pos;
            ++digitsRead;
        }
        if (digitsRead == 0) return std::nullopt;
    }

    minutes offset{0};
    if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(text, pos, 2, oh)) return std::nullopt;
        if (pos < text.size() && text[pos] == ':') ++pos;
        if (!readDigits(text, pos, 2, om)) return std::nullopt;
        offset = minutes{sign * (oh * 60 + om)};
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    const auto utc = (sys_days{date} + hours{h} + minutes{mi} + seconds{s} - offset).time_since_epoch();
    // The clock counts nanoseconds in 64 bits (years 1677 to 2262); a date past either end does not
    // name a time it can hold, and converting it would overflow.
    constexpr auto kLatest = floor<seconds>(system_clock::duration::max()) - seconds{1};
    constexpr auto kEarliest = ceil<seconds>(system_clock::duration::min()) + seconds{1};
    if (utc > kLatest || utc < kEarliest) return std::nullopt;
    return SystemTime{duration_cast<system_clock::duration>(utc) + fraction};
}

}  // namespace orvane
