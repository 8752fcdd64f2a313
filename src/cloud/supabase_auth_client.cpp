#include "cloud/supabase_auth_client.h"

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "net/service_url.h"

namespace orvane {

using Json = nlohmann::json;

namespace {

// Lower-cased with underscores as spaces, the form the confirmation check reads.
std::string normalised(const std::string& message) {
    auto text = toLowerAscii(message);
    for (auto& c : text) {
        if (c == '_') c = ' ';
    }
    return text;
}

std::string httpUserMessage(int status, const std::string& message) {
    if (normalised(message).find("email not confirmed") != std::string::npos) {
        return "Verify your email to continue. Check your inbox and spam folder for the confirmation link, then "
               "sign in.";
    }
    return "Sign-in failed (" + std::to_string(status) +
           "): " + replaceAllIgnoringCase(message, "supabase", "auth service");
}

// The message of an error answer: error_description, msg or error (the first that is text), else the
// whole body when it is text.
std::string errorMessage(const std::string& body) {
    const auto json = Json::parse(body, nullptr, false);
    if (json.is_object()) {
        for (const char* key : {"error_description", "msg", "error"}) {
            const auto found = json.find(key);
            if (found != json.end() && found->is_string()) return found->get<std::string>();
        }
    }
    // Bytes that are not UTF-8 are not a message.
    try {
        (void)Json(body).dump();
        return body;
    } catch (const Json::exception&) {
        return {};
    }
}

std::optional<std::string> optionalString(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    if (!found->is_string()) throw SupabaseAuthError::decoding(std::string("\"") + key + "\" is not a string.");
    return found->get<std::string>();
}

std::string requiredString(const Json& object, const char* key) {
    auto value = optionalString(object, key);
    if (!value) throw SupabaseAuthError::decoding(std::string("The key \"") + key + "\" is missing.");
    return std::move(*value);
}

SupabaseAuthUser decodeUser(const Json& json) {
    if (!json.is_object()) throw SupabaseAuthError::decoding("The user is not an object.");
    SupabaseAuthUser user;
    user.id = requiredString(json, "id");
    user.email = optionalString(json, "email");
    user.emailConfirmedAt = optionalString(json, "email_confirmed_at");
    user.confirmationSentAt = optionalString(json, "confirmation_sent_at");
    user.createdAt = optionalString(json, "created_at");
    return user;
}

SupabaseAuthSession decodeSession(const Json& json) {
    if (!json.is_object()) throw SupabaseAuthError::decoding("The session is not an object.");
    SupabaseAuthSession session;
    session.accessToken = requiredString(json, "access_token");
    session.refreshToken = requiredString(json, "refresh_token");
    const auto expires = json.find("expires_in");
    if (expires == json.end() || !expires->is_number_integer()) {
        throw SupabaseAuthError::decoding("The key \"expires_in\" is missing or not a whole number.");
    }
    session.expiresIn = expires->get<long long>();
    session.tokenType = requiredString(json, "token_type");
    const auto user = json.find("user");
    if (user == json.end()) throw SupabaseAuthError::decoding("The key \"user\" is missing.");
    session.user = decodeUser(*user);
    return session;
}

Json parseBody(const HttpResponse& response) {
    auto json = Json::parse(response.body, nullptr, false);
    if (json.is_discarded()) throw SupabaseAuthError::decoding("The answer is not JSON.");
    return json;
}

}  // namespace

SupabaseAuthError SupabaseAuthError::http(int status, std::string message) {
    const auto user = httpUserMessage(status, message);
    return SupabaseAuthError(Kind::http, status, std::move(message), user);
}
SupabaseAuthError SupabaseAuthError::decoding(const std::string& description) {
    return SupabaseAuthError(Kind::decoding, 0, {}, "Could not decode response: " + description);
}
SupabaseAuthError SupabaseAuthError::underlying(const std::string& description) {
    return SupabaseAuthError(Kind::underlying, 0, {}, description);
}
SupabaseAuthError SupabaseAuthError::invalidURL() {
    return SupabaseAuthError(Kind::invalidURL, 0, {}, "Invalid auth configuration.");
}
SupabaseAuthError SupabaseAuthError::invalidResponse() {
    return SupabaseAuthError(Kind::invalidResponse, 0, {}, "Unexpected response from auth service.");
}

std::string SupabaseAuthError::reasonCode() const {
    switch (kind_) {
        case Kind::http: return "supabase_http_" + std::to_string(status_);
        case Kind::decoding: return "supabase_decoding";
        case Kind::underlying: return "supabase_underlying";
        case Kind::invalidResponse: return "supabase_invalid_response";
        case Kind::invalidURL: return "supabase_invalid_url";
    }
    return "supabase_unknown";
}

bool SupabaseAuthError::isEmailNotConfirmed() const {
    return kind_ == Kind::http && normalised(serverMessage_).find("email not confirmed") != std::string::npos;
}

std::string redactSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets) {
        // Very short values would blank out ordinary words; the services refuse passwords under six.
        if (secret.size() < 6) continue;
        for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at)) {
            text.replace(at, secret.size(), "[redacted]");
        }
    }
    return text;
}

SupabaseAuthClient::SupabaseAuthClient(SupabaseAuthConfig config, std::shared_ptr<HttpTransport> transport)
    : config_(std::move(config)), transport_(std::move(transport)) {}

HttpResponse SupabaseAuthClient::send(const std::string& method, const std::string& path,
                                      const std::vector<Query>& query, const std::optional<std::string>& jsonBody,
                                      const std::optional<std::string>& bearer, const std::vector<std::string>& secrets,
                                      std::stop_token stop) {
    if (!isHttpURL(config_.baseURL)) throw SupabaseAuthError::invalidURL();
    QueryItems items;
    for (const auto& item : query) items.emplace_back(item.name, item.value);
    HttpRequest request;
    request.method = method;
    request.url = joinURL(trimTrailingSlashes(config_.baseURL) + "/auth/v1", {path}, items);
    request.timeout = std::chrono::seconds(60);
    request.headers.emplace_back("apikey", config_.anonKey);
    if (bearer) request.headers.emplace_back("Authorization", "Bearer " + *bearer);
    if (jsonBody) {
        request.headers.emplace_back("Content-Type", "application/json");
        request.body = *jsonBody;
    }
    HttpResponse response;
    try {
        response = transport_->send(request, stop);
    } catch (const HttpTransportError& error) {
        if (error.kind() == HttpTransportError::Kind::badURL) throw SupabaseAuthError::invalidURL();
        throw SupabaseAuthError::underlying(error.what());
    }
    if (response.status < 100) throw SupabaseAuthError::invalidResponse();
    if (!response.ok())
        throw SupabaseAuthError::http(response.status, redactSecrets(errorMessage(response.body), secrets));
    return response;
}

std::optional<SupabaseAuthSession> SupabaseAuthClient::signUp(const std::string& email, const std::string& password,
                                                              std::stop_token stop) {
    std::vector<Query> query;
    if (config_.emailConfirmationRedirectURL) query.push_back({"redirect_to", *config_.emailConfirmationRedirectURL});
    const auto response = send("POST", "signup", query, Json{{"email", email}, {"password", password}}.dump(),
                               std::nullopt, {password}, stop);
    const auto json = parseBody(response);
    // A project that confirms addresses first answers with the new user alone.
    if (json.is_object() && json.contains("access_token")) return decodeSession(json);
    return std::nullopt;
}

SupabaseAuthSession SupabaseAuthClient::signIn(const std::string& email, const std::string& password,
                                               std::stop_token stop) {
    const auto response = send("POST", "token", {{"grant_type", "password"}},
                               Json{{"email", email}, {"password", password}}.dump(), std::nullopt, {password}, stop);
    return decodeSession(parseBody(response));
}

SupabaseAuthSession SupabaseAuthClient::refresh(const std::string& refreshToken, std::stop_token stop) {
    const auto response = send("POST", "token", {{"grant_type", "refresh_token"}},
                               Json{{"refresh_token", refreshToken}}.dump(), std::nullopt, {refreshToken}, stop);
    return decodeSession(parseBody(response));
}

void SupabaseAuthClient::signOut(const std::string& accessToken, std::stop_token stop) {
    send("POST", "logout", {}, std::nullopt, accessToken, {accessToken}, stop);
}

SupabaseAuthUser SupabaseAuthClient::fetchUser(const std::string& accessToken, std::stop_token stop) {
    return decodeUser(parseBody(send("GET", "user", {}, std::nullopt, accessToken, {accessToken}, stop)));
}

std::string encodeAuthUser(const SupabaseAuthUser& user) {
    Json json{{"id", user.id}};
    if (user.email) json["email"] = *user.email;
    if (user.emailConfirmedAt) json["email_confirmed_at"] = *user.emailConfirmedAt;
    if (user.confirmationSentAt) json["confirmation_sent_at"] = *user.confirmationSentAt;
    if (user.createdAt) json["created_at"] = *user.createdAt;
    return json.dump();
}

std::optional<SupabaseAuthUser> decodeAuthUser(const std::string& text) {
    const auto json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    try {
        return decodeUser(json);
    } catch (const SupabaseAuthError&) {
        return std::nullopt;
    }
}

}  // namespace orvane
