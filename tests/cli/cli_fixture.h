#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "media/sample_video.h"
#include "support/temp_dir.h"

namespace orvane {

namespace fs = std::filesystem;
using testing::runOrvane;
using Json = nlohmann::json;

// Runs the real binary against a library of its own.
class CliTest : public ::testing::Test {
protected:
    testing::CliResult run(const std::vector<std::string>& arguments) { return runOrvane(home_.path(), arguments); }

    Json runJson(const std::vector<std::string>& arguments) {
        const auto result = run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return Json::parse(result.out);
    }

    fs::path sample(const std::string& name, double seconds = 1.0) {
        const auto path = home_ / name;
        SampleVideoLayout options;
        options.width = 320;
        options.height = 240;
        options.seconds = seconds;
        writeSampleVideo(path, options);
        return path;
    }

    testing::TempDir home_;
};

}  // namespace orvane
