#include "cloud/auth_store.h"

#include "base/iso8601.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/secret_store.h"

namespace orvane {

namespace {

// A token this close to its expiry may lapse on the way to the server.
constexpr auto kRefreshMargin = std::chrono::seconds(30);

std::optional<std::string> readSecret(SecretStore& secrets, const char* account) {
    try {
        auto value = secrets.read(account);
        if (value && value->empty()) return std::nullopt;
        return value;
    } catch (const SecretStoreError& error) {
        // A keychain that cannot be read counts as one without the token.
        log::warning(log_area::kAuth, "reading %s failed: %s", account, error.what());
        return std::nullopt;
    }
}

}  // namespace

AuthStore::AuthStore(std::shared_ptr<SupabaseAuthClient> client, SecretStore& secrets, StoredAuthSession stored,
                     KeepStoredSession keep, const Clock& clock, SignOutRecorder recordSignOut,
                     PreferencesThread onPreferencesThread)
    : client_(std::move(client)),
      secrets_(secrets),
      keep_(std::move(keep)),
      clock_(clock),
      recordSignOut_(std::move(recordSignOut)),
      onPreferencesThread_(std::move(onPreferencesThread)),
      stored_(std::move(stored)) {
    if (!onPreferencesThread_) onPreferencesThread_ = [](std::function<void()> write) { write(); };
    if (stored_.expiresAt) expiresAt_ = parseIso8601(*stored_.expiresAt);
}

AuthStatus AuthStore::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::optional<SupabaseAuthUser> AuthStore::user() const {
    std::lock_guard lock(mutex_);
    return status_.kind == AuthStatus::Kind::signedIn ? status_.user : std::nullopt;
}

void AuthStore::bootstrap() {
    const auto refreshToken = readSecret(secrets_, kRefreshTokenAccount);
    std::optional<SupabaseAuthUser> cached;
    std::optional<std::string> cachedText;
    {
        std::lock_guard lock(mutex_);
        cachedText = stored_.user;
    }
    if (cachedText) cached = decodeAuthUser(*cachedText);

    if (!refreshToken) {
        if (!cached) {
            {
                std::lock_guard lock(mutex_);
                status_ = {AuthStatus::Kind::signedOut, std::nullopt, {}};
            }
            signOutImplicitly("bootstrap_no_token_no_cached_user");
            return;
        }
        // A keychain that did not answer in time is not a reason to sign the user out.
        {
            std::lock_guard lock(mutex_);
            status_ = {AuthStatus::Kind::signedIn, cached, {}};
        }
        keepSession("kept_signed_in_keychain_nil_with_cached_user");
        return;
    }

    try {
        saveSession(client_->refresh(*refreshToken));
    } catch (const SupabaseAuthError& error) {
        if (error.isExplicitRejection()) {
            clearSession();
            {
                std::lock_guard lock(mutex_);
                status_ = {AuthStatus::Kind::signedOut, std::nullopt, {}};
            }
            signOutImplicitly("bootstrap_explicit_auth_rejection_" + error.reasonCode());
        } else if (cached) {
            {
                std::lock_guard lock(mutex_);
                status_ = {AuthStatus::Kind::signedIn, cached, {}};
            }
            keepSession("kept_signed_in_transient_" + error.reasonCode());
        } else {
            {
                std::lock_guard lock(mutex_);
                status_ = {AuthStatus::Kind::signedOut, std::nullopt, {}};
            }
            signOutImplicitly("bootstrap_transient_no_cached_user_" + error.reasonCode());
        }
    }
}

void AuthStore::signIn(const std::string& email, const std::string& password) {
    {
        std::lock_guard lock(mutex_);
        status_ = {AuthStatus::Kind::signingIn, std::nullopt, {}};
    }
    try {
        saveSession(client_->signIn(email, password));
    } catch (const SupabaseAuthError& error) {
        std::lock_guard lock(mutex_);
        status_ = error.isEmailNotConfirmed() ? AuthStatus{AuthStatus::Kind::awaitingEmailConfirmation, {}, email}
                                              : AuthStatus{AuthStatus::Kind::error, {}, error.what()};
    } catch (const std::exception& error) {
        // The keychain or the preferences could not keep the session.
        std::lock_guard lock(mutex_);
        status_ = {AuthStatus::Kind::error, std::nullopt, error.what()};
    }
}

void AuthStore::signUp(const std::string& email, const std::string& password) {
    {
        std::lock_guard lock(mutex_);
        status_ = {AuthStatus::Kind::signingIn, std::nullopt, {}};
    }
    try {
        if (auto session = client_->signUp(email, password)) {
            saveSession(*session);
        } else {
            std::lock_guard lock(mutex_);
            status_ = {AuthStatus::Kind::awaitingEmailConfirmation, std::nullopt, email};
        }
    } catch (const std::exception& error) {
        std::lock_guard lock(mutex_);
        status_ = {AuthStatus::Kind::error, std::nullopt, error.what()};
    }
}

void AuthStore::signOutExplicitly() {
    log::info(log_area::kAuth, "explicit sign-out from Settings");
    if (const auto token = readSecret(secrets_, kAccessTokenAccount)) {
        try {
            client_->signOut(*token);
        } catch (const std::exception& error) {
            // The session is forgotten here whatever the service says; it expires there on its own.
            log::info(log_area::kAuth, "sign-out call failed: %s", error.what());
        }
    }
    clearSession();
    std::lock_guard lock(mutex_);
    status_ = {AuthStatus::Kind::signedOut, std::nullopt, {}};
}

std::optional<std::string> AuthStore::validAccessToken() {
    bool fresh = false;
    {
        std::lock_guard lock(mutex_);
        fresh = expiresAt_ && *expiresAt_ - clock_.wallNow() > kRefreshMargin;
    }
    if (fresh) {
        if (auto token = readSecret(secrets_, kAccessTokenAccount)) return token;
    }
    if (!readSecret(secrets_, kRefreshTokenAccount)) return std::nullopt;
    auto token = sharedRefresh();
    if (token.empty()) return std::nullopt;
    return token;
}

std::optional<std::string> AuthStore::refreshAfterRejection(const std::string& rejected) {
    const auto current = readSecret(secrets_, kAccessTokenAccount);
    // Another caller refreshed while this one's request was out: use theirs.
    if (current && *current != rejected) return current;
    if (!readSecret(secrets_, kRefreshTokenAccount)) return std::nullopt;
    auto token = sharedRefresh();
    if (token.empty()) return std::nullopt;
    return token;
}

std::string AuthStore::sharedRefresh() {
    std::promise<std::string> promise;
    std::shared_future<std::string> future;
    {
        std::lock_guard lock(mutex_);
        if (refreshInFlight_) {
            future = *refreshInFlight_;
        } else {
            future = promise.get_future().share();
            refreshInFlight_ = future;
            future = {};
        }
    }
    if (future.valid()) return future.get();

    try {
        auto token = performRefresh();
        promise.set_value(token);
        std::lock_guard lock(mutex_);
        refreshInFlight_.reset();
        return token;
    } catch (...) {
        promise.set_exception(std::current_exception());
        std::lock_guard lock(mutex_);
        refreshInFlight_.reset();
        throw;
    }
}

std::string AuthStore::performRefresh() {
    const auto refreshToken = readSecret(secrets_, kRefreshTokenAccount);
    if (!refreshToken) return {};
    unsigned long long generation;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    try {
        auto session = client_->refresh(*refreshToken);
        {
            std::lock_guard lock(mutex_);
            // Signed out while the refresh was out: the answer must not sign the user back in.
            if (generation != generation_) return {};
        }
        saveSession(session);
        return session.accessToken;
    } catch (const SupabaseAuthError& error) {
        if (error.isExplicitRejection()) {
            clearSession();
            {
                std::lock_guard lock(mutex_);
                status_ = {AuthStatus::Kind::signedOut, std::nullopt, {}};
            }
            signOutImplicitly("refresh_explicit_auth_rejection_" + error.reasonCode());
        }
        throw;
    }
}

void AuthStore::saveSession(const SupabaseAuthSession& session) {
    secrets_.write(kAccessTokenAccount, session.accessToken);
    secrets_.write(kRefreshTokenAccount, session.refreshToken);
    const auto expiry = clock_.wallNow() + std::chrono::seconds(session.expiresIn);
    const StoredAuthSession record{formatIso8601(expiry), encodeAuthUser(session.user)};
    if (keep_) onPreferencesThread_([keep = keep_, record] { keep(record); });
    std::lock_guard lock(mutex_);
    stored_ = record;
    expiresAt_ = expiry;
    status_ = {AuthStatus::Kind::signedIn, session.user, {}};
}

void AuthStore::clearSession() {
    if (keep_) onPreferencesThread_([keep = keep_] { keep(std::nullopt); });
    for (const char* account : {kAccessTokenAccount, kRefreshTokenAccount}) {
        try {
            secrets_.remove(account);
        } catch (const SecretStoreError& error) {
            log::warning(log_area::kAuth, "removing %s failed: %s", account, error.what());
        }
    }
    std::lock_guard lock(mutex_);
    stored_ = {};
    expiresAt_.reset();
    status_.user.reset();
    ++generation_;
}

void AuthStore::signOutImplicitly(const std::string& reason) {
    log::info(log_area::kAuth, "implicit sign-out: %s", reason.c_str());
    if (recordSignOut_) recordSignOut_("implicit", reason);
}

void AuthStore::keepSession(const std::string& reason) {
    log::info(log_area::kAuth, "bootstrap kept session: %s", reason.c_str());
}

}  // namespace orvane
