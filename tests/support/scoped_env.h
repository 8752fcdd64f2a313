#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace orvane::testing {

// Sets (or clears) an environment variable for one test and restores it afterwards. TZ takes effect
// at once.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
        ::tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (previous_) {
            ::setenv(name_.c_str(), previous_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
        ::tzset();
    }

private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace orvane::testing
