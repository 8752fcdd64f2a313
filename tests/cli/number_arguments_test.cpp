#include "cli/number_arguments.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <vector>

namespace orvane::cli {
namespace {

TEST(FrameSizeArgument, ReadsBothSidesWithinLimitsAndRefusesAnythingElse) {
    EXPECT_EQ(parseFrameSize("640x360"), std::make_pair(640, 360));
    EXPECT_EQ(parseFrameSize("16X8192"), std::make_pair(16, 8192));
    for (const char* bad :
         {"640x360x2", "640x", "x360", "640", "15x360", "640x8193", "-640x360", "640 x 360", " 640x360", "640x360 ", "",
          // Past int: once read as 16x360 when the number wrapped around.
          "4294967312x360", "640x4294967312", "99999999999999999999x360"}) {
        EXPECT_THROW(parseFrameSize(bad), CLI::ValidationError) << bad;
    }
}

TEST(CropArgument, FourFiniteNumbersOnly) {
    EXPECT_EQ(parseCropRect("0,0,800,600"), (Rect{0, 0, 800, 600}));
    EXPECT_EQ(parseCropRect("10.5,-2,1e3,20"), (Rect{10.5, -2, 1000, 20}));
    for (const char* bad : {"0,0,800", "0,0,800,600,1", "0,0,800,600x", "a,b,c,d", "",
                            // Read as numbers by the C library, but no pixel.
                            "nan,0,800,600", "0,inf,800,600", "1e640,1,0,31", "0,0,-infinity,600"}) {
        EXPECT_FALSE(parseCropRect(bad)) << bad;
    }
}

TEST(FiniteNumberCheck, EveryFloatingPointOptionOfEveryCommandRefusesNanAndInfinity) {
    CLI::App app;
    double at = 0;
    double scale = 1;
    int count = 0;
    auto* edit = app.add_subcommand("edit");
    edit->add_option("--at", at);
    edit->add_subcommand("zoom")->add_option("--scale", scale)->check(CLI::Range(1.0, 10.0));
    edit->add_option("--count", count);
    refuseNonFiniteNumbers(app);

    const auto parses = [&](std::vector<std::string> arguments) {
        std::reverse(arguments.begin(), arguments.end());
        app.clear();
        try {
            app.parse(arguments);
            return true;
        } catch (const CLI::ParseError&) {
            return false;
        }
    };
    EXPECT_TRUE(parses({"edit", "--at", "1.5"}));
    EXPECT_EQ(at, 1.5);
    EXPECT_TRUE(parses({"edit", "zoom", "--scale", "2"}));
    EXPECT_EQ(scale, 2);
    for (const char* bad : {"nan", "inf", "-Infinity", "1e999", " ", ""}) {
        EXPECT_FALSE(parses({"edit", "--at", bad})) << bad;
        EXPECT_FALSE(parses({"edit", "zoom", "--scale", bad})) << bad;
    }
    EXPECT_TRUE(parses({"edit", "--count", "3"}));  // integer options are left to the parser
}

}  // namespace
}  // namespace orvane::cli
