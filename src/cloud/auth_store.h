#pragma once

// The signed-in account: keeps the session across launches (tokens in the keychain, expiry and the
// cached user in the preferences), decides at launch whether the user stays signed in, and hands
// the backend client a valid access token, refreshing it when it is about to expire.
//
// Thread-safe: the CLI and the backend client call it from worker threads. Network calls run without
// the lock held, and however many callers need a refresh at once, one refresh request goes out and
// they all share its answer.

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/executor.h"
#include "cloud/supabase_auth_client.h"

namespace orvane {

class SecretStore;

struct AuthStatus {
    enum class Kind { unknown, signedOut, signingIn, signedIn, awaitingEmailConfirmation, error };
    Kind kind = Kind::unknown;
    std::optional<SupabaseAuthUser> user;  // signedIn
    std::string text;                      // awaitingEmailConfirmation: the address; error: the message
};

// The part of the session kept beside the keychain (in the preferences, by the application): its
// expiry as ISO 8601 and the signed-in user as encodeAuthUser() writes it.
struct StoredAuthSession {
    std::optional<std::string> expiresAt;
    std::optional<std::string> user;
};

// Keychain accounts of the session.
inline constexpr const char* kAccessTokenAccount = "vexoAccessToken";
inline constexpr const char* kRefreshTokenAccount = "vexoRefreshToken";

class AuthStore {
public:
    // Called with the kind ("implicit") and the reason of every sign-out the user did not ask for.
    using SignOutRecorder = std::function<void(const std::string& kind, const std::string& reason)>;

    // Keeps the stored part of a new session for the next launch; nothing: forget it.
    using KeepStoredSession = std::function<void(const std::optional<StoredAuthSession>& session)>;
    // Preference writes belong to the store's owner thread; a refresh on a worker thread hands them to
    // `onPreferencesThread` (which may run them later). Without one they run where they are made.
    using PreferencesThread = std::function<void(std::function<void()>)>;

    // `stored`: what `keep` was last given, read back at launch.
    AuthStore(std::shared_ptr<SupabaseAuthClient> client, SecretStore& secrets, StoredAuthSession stored,
              KeepStoredSession keep, const Clock& clock, SignOutRecorder recordSignOut = {},
              PreferencesThread onPreferencesThread = {});

    AuthStatus status() const;
    std::optional<SupabaseAuthUser> user() const;

    // At launch: keeps, refreshes or drops the stored session (see the .cpp for the rules).
    void bootstrap();
    // The outcome is in status(): signedIn, awaitingEmailConfirmation or error.
    void signIn(const std::string& email, const std::string& password);
    void signUp(const std::string& email, const std::string& password);
    // Settings' sign-out: tells the service (failures ignored) and forgets the session.
    void signOutExplicitly();

    // The access token, refreshed first when it expires within 30 seconds. Nothing when signed out.
    // Throws SupabaseAuthError when a needed refresh fails; a rejected refresh also signs out.
    std::optional<std::string> validAccessToken();
    // After the backend refused `rejected` (401): a fresh token, refreshing unless another caller
    // already replaced that token. Nothing when signed out.
    std::optional<std::string> refreshAfterRejection(const std::string& rejected);

private:
    void saveSession(const SupabaseAuthSession& session);
    void clearSession();
    void signOutImplicitly(const std::string& reason);
    void keepSession(const std::string& reason);
    // One refresh for everyone who asks while it runs.
    std::string sharedRefresh();
    std::string performRefresh();

    std::shared_ptr<SupabaseAuthClient> client_;
    SecretStore& secrets_;
    KeepStoredSession keep_;
    const Clock& clock_;
    SignOutRecorder recordSignOut_;
    PreferencesThread onPreferencesThread_;

    mutable std::mutex mutex_;
    AuthStatus status_;
    StoredAuthSession stored_;
    std::optional<SystemTime> expiresAt_;
    std::optional<std::shared_future<std::string>> refreshInFlight_;
    // Bumped by every sign-out, so a refresh that finishes after one does not sign the user back in.
    unsigned long long generation_ = 0;
};

}  // namespace orvane
