#include "base/file_error.h"

#include <cerrno>

namespace orvane {

namespace {

constexpr const char* kDiskFull = "the disk is full";

class FileErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "file"; }
    std::string message(int value) const override {
        if (value == ENOSPC) return kDiskFull;
        return std::generic_category().message(value);
    }
    std::error_condition default_error_condition(int value) const noexcept override {
        return {value, std::generic_category()};
    }
};

}  // namespace

const std::error_category& fileErrorCategory() {
    static const FileErrorCategory category;
    return category;
}

std::string fileErrorText(const std::error_code& code) {
    if (code == std::errc::no_space_on_device) return kDiskFull;
    return code.message();
}

}  // namespace orvane
