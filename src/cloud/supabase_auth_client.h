#pragma once

// The calls Orvane makes to the Supabase Auth REST interface, and nothing more: password sign-up
// and sign-in, refresh, the current user and sign-out.

#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "net/http_transport.h"

namespace orvane {

struct SupabaseAuthConfig {
    std::string baseURL;  // the project URL
    std::string anonKey;
    std::optional<std::string> emailConfirmationRedirectURL;
};

struct SupabaseAuthUser {
    std::string id;
    std::optional<std::string> email;
    std::optional<std::string> emailConfirmedAt;
    std::optional<std::string> confirmationSentAt;
    std::optional<std::string> createdAt;

    bool operator==(const SupabaseAuthUser&) const = default;
};

struct SupabaseAuthSession {
    std::string accessToken;
    std::string refreshToken;
    long long expiresIn = 0;  // seconds
    std::string tokenType;
    SupabaseAuthUser user;
};

// A failed auth call. what() is the sentence shown to the user; reasonCode() goes to logs.
class SupabaseAuthError : public std::runtime_error {
public:
    enum class Kind { http, decoding, underlying, invalidURL, invalidResponse };

    static SupabaseAuthError http(int status, std::string message);
    static SupabaseAuthError decoding(const std::string& description);
    static SupabaseAuthError underlying(const std::string& description);
    static SupabaseAuthError invalidURL();
    static SupabaseAuthError invalidResponse();

    Kind kind() const { return kind_; }
    int status() const { return status_; }
    // The server's own text for an http error, as received.
    const std::string& serverMessage() const { return serverMessage_; }
    // "supabase_http_401", "supabase_decoding", ...
    std::string reasonCode() const;
    // The service said no to these credentials (401 or 403), as opposed to being unreachable.
    bool isExplicitRejection() const { return kind_ == Kind::http && (status_ == 401 || status_ == 403); }
    // The server answered that the address is not confirmed yet.
    bool isEmailNotConfirmed() const;

private:
    SupabaseAuthError(Kind kind, int status, std::string serverMessage, const std::string& userMessage)
        : std::runtime_error(userMessage), kind_(kind), status_(status), serverMessage_(std::move(serverMessage)) {}

    Kind kind_;
    int status_ = 0;
    std::string serverMessage_;
};

// Stateless apart from its configuration; every call may run on any thread. All calls throw
// SupabaseAuthError (transport failures as `underlying`) or HttpCancelled.
class SupabaseAuthClient {
public:
    SupabaseAuthClient(SupabaseAuthConfig config, std::shared_ptr<HttpTransport> transport);

    // A session when the project signs new users in at once; nothing while the address awaits confirmation.
    std::optional<SupabaseAuthSession> signUp(const std::string& email, const std::string& password,
                                              std::stop_token stop = {});
    SupabaseAuthSession signIn(const std::string& email, const std::string& password, std::stop_token stop = {});
    SupabaseAuthSession refresh(const std::string& refreshToken, std::stop_token stop = {});
    void signOut(const std::string& accessToken, std::stop_token stop = {});
    SupabaseAuthUser fetchUser(const std::string& accessToken, std::stop_token stop = {});

    const SupabaseAuthConfig& config() const { return config_; }

private:
    struct Query {
        std::string name;
        std::string value;
    };
    HttpResponse send(const std::string& method, const std::string& path, const std::vector<Query>& query,
                      const std::optional<std::string>& jsonBody, const std::optional<std::string>& bearer,
                      const std::vector<std::string>& secrets, std::stop_token stop);

    SupabaseAuthConfig config_;
    std::shared_ptr<HttpTransport> transport_;
};

// The cached user as kept in the preferences, and back. Nothing for text that is not a stored user.
std::string encodeAuthUser(const SupabaseAuthUser& user);
std::optional<SupabaseAuthUser> decodeAuthUser(const std::string& text);

// Replaces every occurrence of each secret in `text`, so a server that echoes a token or password
// back in an error body never puts it on screen or in a log.
std::string redactSecrets(std::string text, const std::vector<std::string>& secrets);

}  // namespace orvane
