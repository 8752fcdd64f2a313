#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.h"
#include "base/uuid.h"

namespace orvane {

// A named group of recordings, one element of projects.json.
struct Project {
    Uuid id;
    std::string name;
    std::vector<Uuid> recordingIDs;
    SystemTime createdAt;

    bool operator==(const Project&) const = default;
};

// The entered text trimmed of white space and newlines, or "New Project" when nothing is left.
std::string projectNameFromInput(std::string_view entered);

}  // namespace orvane

template <>
struct std::hash<orvane::Project> {
    std::size_t operator()(const orvane::Project& p) const noexcept;
};
