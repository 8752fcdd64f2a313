#pragma once

// Product analytics: events such as "recording finished" or "share failed" sent to the product's
// PostHog project so its makers can see how Orvane is used. Fire-and-forget: every send runs on a
// background queue, failures are dropped, nothing is written to disk, and the user can switch it
// off ("orvaneProductAnalyticsEnabled"). ORVANE_ANALYTICS=0 switches it off for a process; it is
// also off when $CI or $ORVANE_TEST (set by the test runner) is set, unless ORVANE_ANALYTICS=1.

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>

#include "base/executor.h"

namespace orvane {

class HttpTransport;
class Preferences;

enum class AnalyticsEvent {
    appOpened,
    userSignedIn,
    userSignedOut,
    authFailed,
    signup,
    onboardingShown,
    onboardingCompleted,
    onboardingSkipped,
    permissionPromptShown,
    permissionGranted,
    permissionDenied,
    permissionRelaunchRequired,
    firstRecordingModalOpened,
    recordingStartRequested,
    recordingStarted,
    recordingCompleted,
    recordingCancelled,
    recordingFailed,
    screenshotCaptured,
    screenshotFailed,
    exportStarted,
    exportCompleted,
    exportFailed,
    socialExportStarted,
    socialExportCompleted,
    socialExportFailed,
    shareStarted,
    shareCompleted,
    shareFailed,
    shareUpdateStarted,
    shareUpdateCompleted,
    shareUpdateFailed,
    analyticsEnabled,
};

// The event's name on the wire ("desktop_recording_completed").
std::string_view analyticsEventName(AnalyticsEvent event);

using AnalyticsValue = std::variant<std::string, long long, double, bool>;
using AnalyticsProperties = std::map<std::string, AnalyticsValue, std::less<>>;

// What the events say about the running program; a value the build does not know reads "unknown".
struct AnalyticsAppInfo {
    std::string version = "unknown";
    std::string build = "unknown";
    std::string bundleIdentifier = "unknown";
    std::string osVersion = "unknown";
};

// The program's own version and the system's ("Linux 6.1.0 x86_64").
AnalyticsAppInfo currentAnalyticsAppInfo();

// Whether this process may send at all: ORVANE_ANALYTICS=0 says no; $CI or $ORVANE_TEST says no
// unless ORVANE_ANALYTICS=1, so test runs and build machines never report.
bool analyticsAllowedByEnvironment();

// The failure classes of the events: from the message, lower-cased, first match wins.
std::string analyticsErrorKind(std::string_view message);
// "under_10s", "10s_30s", ... "30m_plus".
std::string analyticsDurationBucket(double seconds);
// "error_kind", "error_domain", "error_code" and "error_message" of a failure.
AnalyticsProperties analyticsFailureProperties(const std::exception& error);

struct AnalyticsSettings {
    std::string projectToken;
    std::string host;          // the ingestion origin; events go to host + "/capture/"
    std::string buildChannel;  // lower-cased
    AnalyticsAppInfo appInfo;
    bool allowed = true;  // analyticsAllowedByEnvironment() for the real program
    // How long going away waits for queued events, so a short command's last events still leave.
    Duration shutdownGrace = std::chrono::seconds(2);
};

// A main-loop object: track, identify and resetIdentity read and write the preferences on the
// owner's thread; only the HTTP request runs on `background`.
class AppAnalyticsClient {
public:
    AppAnalyticsClient(AnalyticsSettings settings, Preferences& preferences, std::shared_ptr<HttpTransport> transport,
                       const Clock& clock, Executor& background);
    ~AppAnalyticsClient();
    AppAnalyticsClient(const AppAnalyticsClient&) = delete;
    AppAnalyticsClient& operator=(const AppAnalyticsClient&) = delete;

    // The preference (true when absent), and the process allows it.
    bool isEnabled() const;

    // Returns at once; the event is sent in the background, or dropped when analytics is off.
    void track(AnalyticsEvent event, AnalyticsProperties properties = {});
    // Remembers the signed-in account (an absent e-mail removes the stored one) and sends "$identify".
    void identify(const std::string& userID, const std::optional<std::string>& email,
                  std::optional<long long> teamCount = std::nullopt);
    // After sign-out: events go back to the install's own identity.
    void resetIdentity();

private:
    std::string installID();
    std::string distinctID();
    void post(const std::string& body);

    AnalyticsSettings settings_;
    Preferences& preferences_;
    std::shared_ptr<HttpTransport> transport_;
    const Clock& clock_;
    Executor& background_;
    // Sends still queued or running after the shutdown grace stop when the client goes away.
    std::stop_source stop_;
};

}  // namespace orvane
