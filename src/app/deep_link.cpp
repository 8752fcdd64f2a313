#include "app/deep_link.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "net/http_transport.h"
#include "net/url_components.h"
#include "platform/url_opener.h"

namespace orvane {

namespace deep_link_values {

bool boolean(const std::optional<std::string>& value, bool fallback) {
    if (!value) return fallback;
    const std::string text = toLowerAscii(trimWhitespaceAndNewlines(*value));
    if (text == "1" || text == "true" || text == "yes" || text == "on") return true;
    if (text == "0" || text == "false" || text == "no" || text == "off") return false;
    return fallback;
}

std::optional<RecordingSourceKind> sourceKind(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    if (*value == "display" || *value == "screen") return RecordingSourceKind::display;
    if (*value == "window") return RecordingSourceKind::window;
    if (*value == "app" || *value == "application") return RecordingSourceKind::application;
    return std::nullopt;
}

std::optional<std::string> url(const std::optional<std::string>& value) {
    if (!value || !URLComponents::parse(*value)) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> uint32(const std::optional<std::string>& value) {
    if (!value || value->empty()) return std::nullopt;
    if (!std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (error != std::errc() || end != value->data() + value->size()) return std::nullopt;
    return number;
}

namespace {

std::optional<double> finiteNumber(std::string_view text) {
    const std::string trimmed = trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) return std::nullopt;
    double number = 0;
    const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), number);
    if (error != std::errc() || end != trimmed.data() + trimmed.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

double duration(const std::optional<std::string>& value) {
    const std::optional<double> seconds = value ? finiteNumber(*value) : std::nullopt;
    return std::clamp(seconds.value_or(10.0), 1.0, 3600.0);
}

std::optional<Rect> cropRect(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    std::vector<double> numbers;
    std::string_view rest = *value;
    while (true) {
        const auto comma = rest.find(',');
        const auto number = finiteNumber(rest.substr(0, comma));
        if (!number) return std::nullopt;
        numbers.push_back(*number);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    if (numbers.size() != 4 || numbers[2] <= 0 || numbers[3] <= 0) return std::nullopt;
    Rect rect;
    rect.x = std::clamp(numbers[0], 0.0, 1.0);
    rect.y = std::clamp(numbers[1], 0.0, 1.0);
    rect.width = std::min(numbers[2], 1.0 - rect.x);
    rect.height = std::min(numbers[3], 1.0 - rect.y);
    // An origin on the far edge leaves nothing to record.
    if (rect.width <= 0 || rect.height <= 0) return std::nullopt;
    return rect;
}

}  // namespace deep_link_values

namespace {

namespace values = deep_link_values;

// The query of one URL, looked up by the first item that matches any accepted spelling, in order.
class Query {
public:
    explicit Query(std::vector<QueryItem> items) : items_(std::move(items)) {}

    std::optional<std::string> value(std::initializer_list<std::string_view> names) const {
        for (const auto name : names) {
            for (const auto& item : items_) {
                if (item.name == name) return item.value;
            }
        }
        return std::nullopt;
    }
    // Optional text parameters: an empty value counts as absent.
    std::optional<std::string> text(std::initializer_list<std::string_view> names) const {
        auto found = value(names);
        if (found && found->empty()) return std::nullopt;
        return found;
    }

private:
    std::vector<QueryItem> items_;
};

std::string trimmedSlashes(std::string_view path) {
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    return toLowerAscii(path);
}

bool isLoopbackHost(std::string_view host) {
    const std::string lower = toLowerAscii(host);
    return lower == "127.0.0.1" || lower == "localhost" || lower == "::1";
}

}  // namespace

DeepLink::DeepLink(std::set<std::string> acceptedSchemes, const Clock& clock, Executor& background,
                   std::shared_ptr<HttpTransport> http, std::shared_ptr<UrlOpener> opener)
    : clock_(clock), background_(background), http_(std::move(http)), opener_(std::move(opener)) {
    for (const auto& scheme : acceptedSchemes) acceptedSchemes_.insert(toLowerAscii(scheme));
}

void DeepLink::handle(std::string_view urlText) {
    const auto url = URLComponents::parse(urlText);
    if (!url || !acceptedSchemes_.count(url->scheme())) return;

    const SteadyTime now = clock_.now();
    if (lastHandledURL_ == urlText && now - lastHandledAt_ < kDuplicateWindow) return;
    lastHandledURL_ = std::string(urlText);
    lastHandledAt_ = now;

    const std::string host = toLowerAscii(url->host());
    const std::string path = trimmedSlashes(url->path());
    const Query query(url->queryItems());

    auto storeReturnAddress = [&] {
        // The reply belongs to the latest request that asked for one.
        if (auto address = values::url(query.value({"return"}))) returnURL_ = std::move(address);
        if (auto session = query.text({"session"})) sessionID_ = std::move(session);
    };

    if (host == "invite" || (host == "team" && path == "invite")) {
        auto token = query.text({"token"});
        if (!token) return;
        pending_.teamInvitation = TeamInvitation{std::move(*token), query.text({"email"})};
    } else if (host == "record" && (path == "reply" || path == "append")) {
        auto share = query.text({"share"});
        if (!share) return;
        auto api = values::url(query.value({"api"}));
        if (path == "reply") {
            pending_.replyShareID = std::move(share);
            pending_.replyShareAPIBaseURL = std::move(api);
        } else {
            pending_.appendShareID = std::move(share);
            pending_.appendShareAPIBaseURL = std::move(api);
            pending_.shareEditingBypassesAuth = true;
        }
    } else if (host == "record") {
        storeReturnAddress();
        RecordRequest request;
        request.preferredKind = values::sourceKind(query.value({"source"}));
        request.sessionID = query.text({"session"});
        pending_.request = std::move(request);
    } else if (host == "agent-record") {
        storeReturnAddress();
        AgentRecordingRequest request;
        request.preferredKind = values::sourceKind(query.value({"source"}));
        request.sessionID = query.text({"session"});
        request.duration = values::duration(query.value({"duration"}));
        request.voiceoverURL = values::url(query.value({"voiceover"}));
        request.scriptURL = values::url(query.value({"script"}));
        request.actionPlanURL = values::url(query.value({"actionPlan", "action_plan"}));
        request.windowID = values::uint32(query.value({"windowID", "windowId", "window_id"}));
        request.displayID = values::uint32(query.value({"displayID", "display_id"}));
        request.includeSystemAudio =
            values::boolean(query.value({"systemAudio", "includeSystemAudio", "system_audio"}), false);
        request.cropRect = values::cropRect(query.value({"cropRect", "crop_rect"}));
        request.target = query.text({"target"});
        request.appName = query.text({"appName", "app_name"});
        request.appBundleID = query.text({"appBundleID", "app_bundle_id"});
        request.windowTitle = query.text({"windowTitle", "window_title"});
        request.scenario = query.text({"scenario"});
        request.title = query.text({"title"});
        request.prompt = query.text({"prompt"});
        request.controlMode = query.text({"controlMode", "control_mode"});
        pending_.agentRecordingRequest = std::move(request);
        pending_.agentRecordingBypassesAuth = true;
    } else if (host == "permission-setup" || host == "setup-permissions") {
        pending_.permissionSetupRequestID = Uuid::random();
        pending_.permissionSetupStep = query.text({"step"});
        // The walkthrough is what a new user needs before there is any account to sign in to.
        pending_.permissionSetupBypassesAuth = true;
    } else if (host == "import") {
        auto video = values::url(query.value({"v"}));
        if (!video) return;
        const auto edit = query.value({"edit"});
        pending_.importURL = std::move(video);
        pending_.importOpensEditor = edit == "1" || edit == "true";
        pending_.importSidecarURL = values::url(query.value({"sidecar"}));
        pending_.importShareToken = query.text({"share"});
        pending_.importAPIBaseURL = values::url(query.value({"api"}));
        pending_.importTitle = query.text({"title"});
        pending_.importPermission = query.text({"permission"});
        pending_.shareEditingBypassesAuth = true;
    } else if (host == "oauth-callback") {
        pending_.oauthCallback =
            OAuthCallback{query.value({"provider"}).value_or(""), query.value({"status"}).value_or("")};
    } else {
        return;
    }
    log::info(log_area::kApp, "deep link accepted: host=%s path=%s", host.c_str(), path.c_str());
    changed_.emit();
}

void DeepLink::replySuccessWithExport(const std::filesystem::path& exportedFile, std::string_view kind,
                                      std::string_view sourceTitle) {
    reply("orvaneExportURL", fileURL(std::filesystem::absolute(exportedFile).string()), kind, sourceTitle);
}

void DeepLink::replySuccessWithShare(std::string_view shareURL, std::string_view kind, std::string_view sourceTitle) {
    reply("orvaneShareURL", std::string(shareURL), kind, sourceTitle);
}

void DeepLink::replyFailure(std::string_view message) {
    reply("error", std::string(message), std::nullopt, std::nullopt);
}

void DeepLink::reply(std::string resultName, std::string resultValue, std::optional<std::string_view> kind,
                     std::optional<std::string_view> sourceTitle) {
    if (!returnURL_) return;
    const std::string address = *std::exchange(returnURL_, std::nullopt);
    const std::optional<std::string> session = std::exchange(sessionID_, std::nullopt);
    auto url = URLComponents::parse(address);
    if (!url) return;

    std::vector<QueryItem> items{{std::move(resultName), std::move(resultValue)}};
    if (kind) items.push_back({"kind", std::string(*kind)});
    if (sourceTitle) items.push_back({"sourceTitle", std::string(*sourceTitle)});
    if (session) items.push_back({"session", *session});
    url->replaceQueryItems(items);
    const std::string target = url->string();

    if (isLoopbackHost(url->host())) {
        background_.post([http = http_, target] {
            try {
                HttpRequest request;
                request.url = target;
                request.timeout = std::chrono::seconds(10);
                http->send(request);
            } catch (const std::exception& e) {
                log::warning(log_area::kApp, "deep link reply not delivered: %s", e.what());
            }
        });
    } else {
        background_.post([opener = opener_, target] {
            try {
                opener->open(target);
            } catch (const std::exception& e) {
                log::warning(log_area::kApp, "deep link reply not opened: %s", e.what());
            }
        });
    }
}

}  // namespace orvane
