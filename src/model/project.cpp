#include "model/project.h"

#include "base/hash.h"
#include "base/text.h"

namespace orvane {

std::string projectNameFromInput(std::string_view entered) {
    auto name = trimWhitespaceAndNewlines(entered);
    return name.empty() ? std::string("New Project") : name;
}

}  // namespace orvane

std::size_t std::hash<orvane::Project>::operator()(const orvane::Project& p) const noexcept {
    return orvane::HashBuilder()
        .add(p.id)
        .add(p.name)
        .add(p.recordingIDs)
        .add(p.createdAt.time_since_epoch().count())
        .result();
}
