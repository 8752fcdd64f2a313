#include <gtest/gtest.h>

#include <unordered_set>

#include "base/iso8601.h"
#include "base/text.h"
#include "base/uuid.h"

namespace orvane {
namespace {

TEST(Uuid, CanonicalUpperCaseAndParsingAnyCase) {
    const auto id = Uuid::random();
    const auto text = id.string();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    for (char c : text) EXPECT_FALSE(c >= 'a' && c <= 'z') << text;

    std::string lower = toLowerAscii(text);
    EXPECT_EQ(Uuid::parse(lower), id);
    EXPECT_FALSE(Uuid::parse(text.substr(1)));
    EXPECT_FALSE(Uuid::parse("G" + text.substr(1)));
    EXPECT_FALSE(Uuid::parse(text.substr(0, 8) + "_" + text.substr(9)));

    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(Uuid::random()).second);
}

TEST(Iso8601, FormatsWholeSecondsInUtcAndParsesOffsetsAndFractions) {
    using namespace std::chrono;
    const SystemTime time = sys_days{year{2024} / 2 / 29} + hours{23} + minutes{5} + seconds{9};
    EXPECT_EQ(formatIso8601(time), "2024-02-29T23:05:09Z");
    EXPECT_EQ(formatIso8601(time + milliseconds{999}), "2024-02-29T23:05:09Z");
    EXPECT_EQ(parseIso8601("2024-02-29T23:05:09Z"), time);
    EXPECT_EQ(parseIso8601("2024-03-01T01:05:09+02:00"), time);
    EXPECT_EQ(parseIso8601("2024-02-29T20:05:09-0300"), time);
    EXPECT_EQ(parseIso8601("2024-02-29T23:05:09.250Z"), time + milliseconds{250});

    EXPECT_FALSE(parseIso8601("2023-02-29T00:00:00Z"));  // not a leap year
    EXPECT_FALSE(parseIso8601("2024-02-29T23:05:09"));   // no zone
    EXPECT_FALSE(parseIso8601("2024-02-29 23:05:09Z"));
    EXPECT_FALSE(parseIso8601("2024-02-29T23:05:09Zjunk"));
    EXPECT_FALSE(parseIso8601(""));

    // The clock holds 1677 to 2262; a date beyond reads as malformed instead of overflowing.
    EXPECT_EQ(parseIso8601("2262-04-11T00:00:00Z"), sys_days{year{2262} / 4 / 11});
    EXPECT_EQ(parseIso8601("1677-09-22T00:00:00Z"), sys_days{year{1677} / 9 / 22});
    for (const char* far : {"9736-01-01T00:00:00Z", "2262-04-12T00:00:00Z", "1677-09-21T00:00:00Z",
                            "0000-01-01T00:00:00Z", "2262-04-11T23:59:59-23:59"}) {
        EXPECT_FALSE(parseIso8601(far)) << far;
    }
}

TEST(Text, TrimsAsciiAndUnicodeWhitespace) {
    EXPECT_EQ(trimWhitespaceAndNewlines("  clip \n"), "clip");
    EXPECT_EQ(trimWhitespaceAndNewlines("\xC2\xA0\tDemo take\xE2\x80\x83"), "Demo take");
    EXPECT_EQ(trimWhitespaceAndNewlines("   "), "");
    EXPECT_EQ(trimWhitespaceAndNewlines("caf\xC3\xA9"), "caf\xC3\xA9");  // é is not white space
}

}  // namespace
}  // namespace orvane
