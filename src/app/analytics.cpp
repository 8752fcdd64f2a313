#include "app/analytics.h"

#include <sys/utsname.h>

#include <array>
#include <cstdlib>
#include <future>
#include <nlohmann/json.hpp>
#include <system_error>

#include "app/preferences.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "base/uuid.h"
#include "net/http_transport.h"
#include "net/service_url.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

namespace orvane {

using Json = nlohmann::json;

namespace {

// The platform this build reports as, where the design names its own.
constexpr const char* kAnalyticsSource = "linux_app";
constexpr const char* kPlatform = "linux";
constexpr int kSchema = 2;
constexpr const char* kUserPrefix = "user:";
constexpr const char* kInstallPrefix = "install:";

constexpr std::array<std::string_view, 33> kEventNames = {
    "desktop_app_opened",
    "desktop_user_signed_in",
    "desktop_user_signed_out",
    "desktop_auth_failed",
    "desktop_signup",
    "desktop_onboarding_shown",
    "desktop_onboarding_completed",
    "desktop_onboarding_skipped",
    "desktop_permission_prompt_shown",
    "desktop_permission_granted",
    "desktop_permission_denied",
    "desktop_permission_relaunch_required",
    "desktop_first_recording_modal_opened",
    "desktop_recording_start_requested",
    "desktop_recording_started",
    "desktop_recording_completed",
    "desktop_recording_cancelled",
    "desktop_recording_failed",
    "desktop_screenshot_captured",
    "desktop_screenshot_failed",
    "desktop_export_started",
    "desktop_export_completed",
    "desktop_export_failed",
    "desktop_social_export_started",
    "desktop_social_export_completed",
    "desktop_social_export_failed",
    "desktop_share_started",
    "desktop_share_completed",
    "desktop_share_failed",
    "desktop_share_update_started",
    "desktop_share_update_completed",
    "desktop_share_update_failed",
    "desktop_analytics_enabled",
};

bool containsAny(const std::string& text, std::initializer_list<std::string_view> needles) {
    for (const auto needle : needles) {
        if (text.find(needle) != std::string::npos) return true;
    }
    return false;
}

Json toJson(const AnalyticsValue& value) {
    return std::visit([](const auto& v) { return Json(v); }, value);
}

std::string environmentName(const std::string& channel) { return channel == "staging" ? "staging" : "production"; }

}  // namespace

std::string_view analyticsEventName(AnalyticsEvent event) { return kEventNames.at(static_cast<std::size_t>(event)); }

AnalyticsAppInfo currentAnalyticsAppInfo() {
    AnalyticsAppInfo info;
    info.version = ORVANE_VERSION;
    info.build = ORVANE_VERSION;
    info.bundleIdentifier = "orvane";
    utsname system{};
    if (::uname(&system) == 0) {
        info.osVersion = std::string(system.sysname) + " " + system.release + " " + system.machine;
    }
    return info;
}

bool analyticsAllowedByEnvironment() {
    const char* setting = std::getenv("ORVANE_ANALYTICS");
    if (setting && *setting) {
        if (const auto on = parseBooleanText(toLowerAscii(setting))) return *on;
        return std::string_view(setting) != "0";
    }
    for (const char* name : {"CI", "ORVANE_TEST"}) {
        const char* value = std::getenv(name);
        if (value && *value) return false;
    }
    return true;
}

std::string analyticsErrorKind(std::string_view message) {
    const auto text = toLowerAscii(std::string(message));
    if (containsAny(text, {"cancel"})) return "cancelled";
    if (containsAny(text, {"permission", "not authorized", "denied"})) return "permission";
    if (containsAny(text, {"disk", "space", "storage"})) return "disk_space";
    if (containsAny(text, {"network", "internet", "offline", "timed out"})) return "network";
    if (containsAny(text, {"auth", "sign in", "unauthorized", "401"})) return "auth";
    if (containsAny(text, {"too large", "payload", "413"})) return "payload_too_large";
    if (containsAny(text, {"decode", "response"})) return "api_response";
    return "unknown";
}

std::string analyticsDurationBucket(double seconds) {
    if (seconds < 10) return "under_10s";
    if (seconds < 30) return "10s_30s";
    if (seconds < 60) return "30s_1m";
    if (seconds < 180) return "1m_3m";
    if (seconds < 600) return "3m_10m";
    if (seconds < 1800) return "10m_30m";
    return "30m_plus";
}

AnalyticsProperties analyticsFailureProperties(const std::exception& error) {
    const std::string message = error.what();
    AnalyticsProperties properties{
        {"error_kind", analyticsErrorKind(message)}, {"error_message", message}, {"error_code", 0LL}};
    // The error's type stands for the design's error domain; a system error also has its number.
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        properties["error_domain"] = std::string(system->code().category().name());
        properties["error_code"] = static_cast<long long>(system->code().value());
    } else if (const auto* transport = dynamic_cast<const HttpTransportError*>(&error)) {
        properties["error_domain"] = std::string("http_transport");
        properties["error_code"] = static_cast<long long>(transport->kind());
    } else {
        properties["error_domain"] = std::string("orvane");
    }
    try {
        std::rethrow_if_nested(error);
    } catch (const std::exception& underlying) {
        properties["error_underlying"] = std::string(underlying.what());
    } catch (...) {
    }
    return properties;
}

AppAnalyticsClient::AppAnalyticsClient(AnalyticsSettings settings, Preferences& preferences,
                                       std::shared_ptr<HttpTransport> transport, const Clock& clock,
                                       Executor& background)
    : settings_(std::move(settings)),
      preferences_(preferences),
      transport_(std::move(transport)),
      clock_(clock),
      background_(background) {}

AppAnalyticsClient::~AppAnalyticsClient() {
    if (settings_.shutdownGrace > Duration::zero()) {
        auto drained = std::make_shared<std::promise<void>>();
        auto done = drained->get_future();
        background_.post([drained] { drained->set_value(); });
        done.wait_for(settings_.shutdownGrace);
    }
    stop_.request_stop();
}

bool AppAnalyticsClient::isEnabled() const { return settings_.allowed && preferences_.productAnalyticsEnabled(); }

std::string AppAnalyticsClient::installID() {
    if (auto stored = preferences_.analyticsInstallID(); stored && stored->starts_with(kInstallPrefix)) return *stored;
    auto made = std::string(kInstallPrefix) + Uuid::random().string();
    preferences_.setAnalyticsInstallID(made);
    return made;
}

std::string AppAnalyticsClient::distinctID() {
    if (auto user = preferences_.analyticsAuthenticatedUserID(); user && user->starts_with(kUserPrefix)) return *user;
    return installID();
}

void AppAnalyticsClient::track(AnalyticsEvent event, AnalyticsProperties properties) {
    if (!isEnabled()) return;
    Json props = Json::object();
    for (const auto& [key, value] : properties) props[key] = toJson(value);
    const auto user = preferences_.analyticsAuthenticatedUserID();
    const bool signedIn = user && user->starts_with(kUserPrefix);
    props["analytics_source"] = kAnalyticsSource;
    props["analytics_schema"] = kSchema;
    props["platform"] = kPlatform;
    props["environment"] = environmentName(settings_.buildChannel);
    props["build_channel"] = settings_.buildChannel;
    props["os_version"] = settings_.appInfo.osVersion;
    props["app_version"] = settings_.appInfo.version;
    props["app_build"] = settings_.appInfo.build;
    props["bundle_identifier"] = settings_.appInfo.bundleIdentifier;
    props["authenticated"] = signedIn;
    props["$process_person_profile"] = signedIn;
    if (signedIn) {
        props["authenticated_user_id"] = *user;
        if (const auto email = preferences_.analyticsAuthenticatedEmail()) props["email"] = *email;
    }
    const Json body{{"api_key", settings_.projectToken},
                    {"event", std::string(analyticsEventName(event))},
                    {"distinct_id", distinctID()},
                    {"properties", std::move(props)},
                    {"timestamp", formatIso8601(clock_.wallNow())}};
    post(body.dump());
}

void AppAnalyticsClient::identify(const std::string& userID, const std::optional<std::string>& email,
                                  std::optional<long long> teamCount) {
    const auto identity = std::string(kUserPrefix) + userID;
    preferences_.setAnalyticsAuthenticatedUserID(identity);
    if (email) {
        preferences_.setAnalyticsAuthenticatedEmail(*email);
    } else {
        preferences_.unset(preference_keys::analyticsAuthenticatedEmail);
    }
    if (!isEnabled()) return;
    const auto environment = environmentName(settings_.buildChannel);
    const auto& app = settings_.appInfo;
    Json set{{"supabase_user_id", userID},
             {"environment", environment},
             {"last_build_channel", settings_.buildChannel},
             {"last_app_version", app.version},
             {"last_app_build", app.build},
             {"last_os_version", app.osVersion},
             {"last_platform", kPlatform},
             {"last_analytics_source", kAnalyticsSource}};
    if (teamCount) set["team_count"] = *teamCount;
    if (email) set["email"] = *email;
    const Json setOnce{{"first_seen_source", kAnalyticsSource},
                       {"first_platform", kPlatform},
                       {"first_app_version", app.version},
                       {"first_app_build", app.build}};
    const Json body{{"api_key", settings_.projectToken},
                    {"event", "$identify"},
                    {"distinct_id", identity},
                    {"properties", {{"$anon_distinct_id", installID()}, {"$set", set}, {"$set_once", setOnce}}},
                    {"timestamp", formatIso8601(clock_.wallNow())}};
    post(body.dump());
}

void AppAnalyticsClient::resetIdentity() {
    preferences_.unset(preference_keys::analyticsAuthenticatedUserID);
    preferences_.unset(preference_keys::analyticsAuthenticatedEmail);
}

void AppAnalyticsClient::post(const std::string& body) {
    HttpRequest request;
    request.method = "POST";
    request.url = trimTrailingSlashes(settings_.host) + "/capture/";
    request.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    request.body = body;
    // An event is worth little; a slow ingestion host must not hold a queue of them.
    request.timeout = std::chrono::seconds(10);
    background_.post([transport = transport_, request = std::move(request), stop = stop_.get_token()] {
        if (stop.stop_requested()) return;
        try {
            const auto response = transport->send(request, stop);
            if (!response.ok()) log::debug(log_area::kAnalytics, "event not taken (%d)", response.status);
        } catch (const std::exception& error) {
            log::debug(log_area::kAnalytics, "event not sent: %s", error.what());
        }
    });
}

}  // namespace orvane
