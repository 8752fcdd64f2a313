#pragma once

// One entry of the export queue as the background-tasks tray shows it.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "base/iso8601.h"
#include "base/uuid.h"

namespace orvane {

// Where a post hands the exported file. Raw values equal the case names.
enum class SocialPlatform { x, linkedin, youtube, notion, messages };
std::string_view rawValue(SocialPlatform platform);

struct ExportKind {
    std::string label;
    bool operator==(const ExportKind&) const = default;
};
struct ShareKind {
    std::string permission;
    bool operator==(const ShareKind&) const = default;
};
struct ShareUpdateKind {
    std::optional<std::string> permission;
    bool operator==(const ShareUpdateKind&) const = default;
};
struct PostKind {
    SocialPlatform platform = SocialPlatform::x;
    bool operator==(const PostKind&) const = default;
};
using ExportTaskKind = std::variant<ExportKind, ShareKind, ShareUpdateKind, PostKind>;

// What a finished task produced: a file on disk or a share link.
struct ExportOutcome {
    enum class Kind { file, shared };
    Kind kind = Kind::file;
    std::string location;  // a path for files, a URL for links

    static ExportOutcome file(std::string path) { return {Kind::file, std::move(path)}; }
    static ExportOutcome shared(std::string url) { return {Kind::shared, std::move(url)}; }
    bool operator==(const ExportOutcome&) const = default;
};

struct ExportTaskStage {
    enum class Kind { queued, running, succeeded, failed, cancelled };
    Kind kind = Kind::queued;
    std::optional<std::string> message;   // running: the step text; failed: why
    std::optional<ExportOutcome> output;  // succeeded only

    static ExportTaskStage queued() { return {}; }
    static ExportTaskStage running(std::optional<std::string> message = std::nullopt) {
        return {Kind::running, std::move(message), std::nullopt};
    }
    static ExportTaskStage succeeded(ExportOutcome output) {
        return {Kind::succeeded, std::nullopt, std::move(output)};
    }
    static ExportTaskStage failed(std::string message) { return {Kind::failed, std::move(message), std::nullopt}; }
    static ExportTaskStage cancelled() { return {Kind::cancelled, std::nullopt, std::nullopt}; }

    bool finished() const { return kind == Kind::succeeded || kind == Kind::failed || kind == Kind::cancelled; }
    bool operator==(const ExportTaskStage&) const = default;
};

struct ExportTask {
    Uuid id;
    SystemTime createdAt;
    std::string title;
    std::string subtitle;
    ExportTaskKind kind;
    ExportTaskStage stage;
    double progress = 0;  // 0..1
};

}  // namespace orvane
