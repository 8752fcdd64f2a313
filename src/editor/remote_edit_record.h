#pragma once

// The edit state of an uploaded video as the backend holds it. Agents and the command-line tool
// change it; the open editor applies it (remote_edit_apply.h). Every key but the video id is
// optional, and absent means "not said" rather than "reset".

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "model/edit.h"

namespace orvane {

struct VideoEditsOut {
    std::string videoID;
    std::optional<std::string> updatedAt;  // ISO 8601, parsed by the poller
    // The values the record carries, read leniently from their snake_case keys (the remote keys of
    // model/edit_fields.h); fields it does not carry keep their defaults.
    Edit values;
    // The remote keys of the fields to apply: present with a usable value, and either named in
    // set_fields or different from the field's neutral value (a list: non-empty), so a record that
    // merely echoes defaults never undoes a local setting.
    std::set<std::string, std::less<>> applies;
    // The editor does not apply these; they are kept as the JSON text received.
    std::optional<std::string> clipsJson;
    std::optional<std::string> voiceClipsJson;
    std::optional<std::string> videoOverlaysJson;
    // snake_case names of fields the sender set on purpose, even to their neutral values.
    std::optional<std::set<std::string>> setFields;

    bool operator==(const VideoEditsOut&) const = default;
};

}  // namespace orvane
