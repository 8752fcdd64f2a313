#include "speech/service_errors.h"

#include <nlohmann/json.hpp>

namespace orvane {

namespace {

std::string_view serviceOfAccount(std::string_view account) {
    if (account == "elevenLabsAPIKey") return "ElevenLabs";
    if (account == "cartesiaAPIKey") return "Cartesia";
    if (account == "openaiTTSAPIKey") return "OpenAI";
    return "custom voice provider";
}

}  // namespace

std::string redactSecret(std::string_view text, std::string_view secret) {
    std::string out(text);
    if (secret.empty()) return out;
    for (auto at = out.find(secret); at != std::string::npos; at = out.find(secret, at + 10)) {
        out.replace(at, secret.size(), "[redacted]");
    }
    return out;
}

std::string setKeyHint(std::string_view account) { return "orvane config secret set " + std::string(account); }

std::string missingKeyMessage(std::string_view account) {
    return "Add your " + std::string(serviceOfAccount(account)) + " API key first (" + setKeyHint(account) + ").";
}

std::string serverErrorText(std::string_view body) {
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object()) return {};
    if (const auto error = json.find("error"); error != json.end()) {
        if (error->is_string()) return error->get<std::string>();
        if (error->is_object() && error->contains("message") && (*error)["message"].is_string()) {
            return (*error)["message"].get<std::string>();
        }
    }
    for (const char* key : {"detail", "message"}) {
        if (const auto value = json.find(key); value != json.end() && value->is_string()) {
            return value->get<std::string>();
        }
        if (const auto value = json.find(key); value != json.end() && value->is_object() &&
                                               value->contains("message") && (*value)["message"].is_string()) {
            return (*value)["message"].get<std::string>();
        }
    }
    return {};
}

std::string describeServiceFailure(std::string_view service, const HttpResponse& response, std::string_view account,
                                   std::string_view key) {
    const std::string name(service);
    const std::string status = " (HTTP " + std::to_string(response.status) + ")";
    const auto server = redactSecret(serverErrorText(response.body), key);
    const std::string detail = server.empty() ? "" : ": " + server;
    switch (response.status) {
        case 401:
        case 403:
            return name + " refused the API key" + status + ". Store a valid key with `" + setKeyHint(account) + "`.";
        case 413: return name + " refused the audio as too large" + status + ".";
        case 429:
            return name + " is limiting requests or the account is out of credit" + status +
                   ". Wait a moment and try again" + (server.empty() ? "." : " (" + server + ").");
        default: break;
    }
    if (response.status >= 500) return name + " is not working right now" + status + ". Try again later.";
    return name + " failed" + status + detail + (detail.empty() ? "." : "");
}

}  // namespace orvane
