#include <termios.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/analytics.h"
#include "app/preferences.h"
#include "app/services.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cloud/auth_store.h"
#include "cloud/byo_share_client.h"
#include "cloud/supabase_share_client.h"
#include "platform/secret_store.h"

namespace orvane::cli {

namespace {

// Turns terminal echo off for its lifetime, so a typed password never shows; restored however the
// read ends.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }

private:
    termios saved_{};
    bool active_ = false;
};

}  // namespace

// The password from a no-echo prompt on a terminal, else the first line of stdin; never from the
// command line, where other users could read it in the process list.
std::string readSecretInput(const char* prompt, const char* missing) {
    std::string password;
    if (::isatty(STDIN_FILENO) == 1) {
        std::fprintf(stderr, "%s: ", prompt);
        std::fflush(stderr);
        {
            EchoOff quiet;
            std::getline(std::cin, password);
        }
        std::fprintf(stderr, "\n");
    } else {
        std::getline(std::cin, password);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) throw CommandFailed(kUsage, missing);
    return password;
}

namespace {

std::string readPassword() {
    return readSecretInput("Password", "No password given (type it at the prompt or pipe it on stdin).");
}

nlohmann::json userJson(const SupabaseAuthUser& user) {
    nlohmann::json json{{"signedIn", true}, {"id", user.id}};
    if (user.email) json["email"] = *user.email;
    if (user.emailConfirmedAt) json["emailConfirmedAt"] = *user.emailConfirmedAt;
    if (user.createdAt) json["createdAt"] = *user.createdAt;
    return json;
}

}  // namespace

void registerAccountCommands(CLI::App& app, app::Services& services) {
    auto email = std::make_shared<std::string>();
    auto* login = app.add_subcommand("login", "Sign in to your Orvane account (password from a prompt or stdin)");
    login->add_option("--email", *email, "Account e-mail address")->required();
    login->callback([&services, email] {
        std::string password = readPassword();
        auto& auth = services.auth();
        auth.signIn(*email, password);
        // Not kept around longer than the call needs it.
        std::fill(password.begin(), password.end(), '\0');
        const auto status = auth.status();
        switch (status.kind) {
            case AuthStatus::Kind::signedIn:
                services.analytics().identify(status.user->id, status.user->email);
                services.analytics().track(AnalyticsEvent::userSignedIn);
                std::printf("Signed in as %s\n", status.user->email.value_or(status.user->id).c_str());
                return;
            case AuthStatus::Kind::awaitingEmailConfirmation:
                throw CommandFailed(kFailure,
                                    "Verify your email to continue. Check your inbox and spam folder for the "
                                    "confirmation link, then sign in.");
            default: {
                const auto message = status.text.empty() ? std::string("Sign-in failed.") : status.text;
                services.analytics().track(AnalyticsEvent::authFailed, {{"error_kind", analyticsErrorKind(message)}});
                throw CommandFailed(kFailure, message);
            }
        }
    });

    auto* logout = app.add_subcommand("logout", "Sign out and forget the saved session");
    logout->callback([&services] {
        services.auth().signOutExplicitly();
        services.analytics().track(AnalyticsEvent::userSignedOut, {{"kind", std::string("explicit")}});
        services.analytics().resetIdentity();
        std::printf("Signed out.\n");
    });

    auto json = std::make_shared<bool>(false);
    auto* whoami = app.add_subcommand("whoami", "Show the signed-in account");
    whoami->add_flag("--json", *json, "Print the account as JSON");
    whoami->callback([&services, json] {
        auto& auth = services.auth();
        auth.bootstrap();
        const auto user = auth.user();
        if (*json) {
            printJson(user ? userJson(*user) : nlohmann::json{{"signedIn", false}});
            return;
        }
        if (!user) throw CommandFailed(kNotFound, "Not signed in. Run `orvane login --email ADDRESS`.");
        std::printf("%s\n", user->email.value_or(user->id).c_str());
    });
}

void registerBYOCommands(CLI::App& app, app::Services& services) {
    auto* byo = app.add_subcommand("byo", "Your own share backend (zantBYOBackendURL)");
    byo->require_subcommand(1);
    auto* setToken = byo->add_subcommand("set-token", "Keep the backend's bearer token in the keychain (from stdin)");
    setToken->callback([&services] {
        auto token = readSecretInput("Bearer token", "No token given (type it at the prompt or pipe it on stdin).");
        services.secrets().write(std::string(kBYOBearerTokenAccount), token);
        std::fill(token.begin(), token.end(), '\0');
        std::printf("Saved the BYO backend token in the %s.\n", services.secrets().description().c_str());
    });
    auto* clearToken = byo->add_subcommand("clear-token", "Forget the backend's bearer token");
    clearToken->callback([&services] {
        services.secrets().remove(std::string(kBYOBearerTokenAccount));
        std::printf("Removed the BYO backend token.\n");
    });
    auto* check = byo->add_subcommand("check", "Check the backend's health and capabilities");
    check->callback([&services] {
        auto& preferences = services.preferences();
        BYOBackendConfig config;
        config.baseURL = preferences.byoBackendURL();
        config.shareHost = preferences.byoShareHost();
        if (config.baseURL.empty()) throw CommandFailed(kUsage, "Set zantBYOBackendURL first (orvane config set).");
        config.bearerToken = services.secrets().read(std::string(kBYOBearerTokenAccount)).value_or("");
        BYOBackendShareClient client(std::move(config), services.httpTransport());
        const auto result = client.check();
        if (!result.ok) throw CommandFailed(kFailure, result.message);
        if (result.maxUploadBytes) {
            std::printf("OK (uploads up to %.1f MB)\n", static_cast<double>(*result.maxUploadBytes) / 1'000'000.0);
        } else {
            std::printf("OK\n");
        }
    });
}

void registerSupabaseCommands(CLI::App& app, app::Services& services) {
    auto* supabase = app.add_subcommand("supabase", "Your own Supabase project as the share backend");
    supabase->require_subcommand(1);
    auto* setKey = supabase->add_subcommand("set-key", "Keep the project's anonymous key in the keychain (from stdin)");
    setKey->callback([&services] {
        auto key = readSecretInput("Anonymous key", "No key given (type it at the prompt or pipe it on stdin).");
        services.secrets().write(std::string(kCustomSupabaseAnonKeyAccount), key);
        std::printf("Saved the Supabase anonymous key in the %s.\n", services.secrets().description().c_str());
    });
    auto* clearKey = supabase->add_subcommand("clear-key", "Forget the project's anonymous key");
    clearKey->callback([&services] {
        services.secrets().remove(std::string(kCustomSupabaseAnonKeyAccount));
        std::printf("Removed the Supabase anonymous key.\n");
    });
    auto* script = supabase->add_subcommand("setup-script", "Print the SQL that prepares the project for sharing");
    script->callback([&services] {
        auto& preferences = services.preferences();
        std::printf(
            "%s",
            supabaseSetupScript(preferences.customSupabaseMetadataTable(), preferences.customSupabaseBucket()).c_str());
    });
}

}  // namespace orvane::cli
