#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/analytics.h"
#include "app/preferences.h"
#include "app/services.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "platform/secret_store.h"
#include "speech/http_voice_providers.h"

namespace orvane::cli {

namespace {

nlohmann::json toJson(const std::optional<PreferenceValue>& value) {
    if (!value) return nullptr;
    return std::visit([](const auto& v) { return nlohmann::json(v); }, *value);
}

const PreferenceListEntry& entryFor(const std::vector<PreferenceListEntry>& entries, const std::string& key) {
    for (const auto& entry : entries) {
        if (entry.key == key) return entry;
    }
    throw PreferenceInputError("Unknown preference \"" + key + "\"; `orvane config list` shows the keys");
}

}  // namespace

void registerConfigCommands(CLI::App& app, app::Services& services) {
    struct Options {
        bool json = false;
        std::string key;
        std::string value;
    };
    auto options = std::make_shared<Options>();
    auto* config = app.add_subcommand("config", "Read and change preferences");
    config->require_subcommand(1);

    auto* list = config->add_subcommand("list", "Every preference with its value (defaults marked)");
    list->add_flag("--json", options->json, "Print JSON");
    list->callback([&services, options] {
        const auto entries = services.preferences().list();
        if (options->json) {
            auto array = nlohmann::json::array();
            for (const auto& e : entries) {
                array.push_back({{"key", e.key},
                                 {"type", preferenceTypeName(e.type)},
                                 {"value", toJson(e.value)},
                                 {"isSet", e.isSet}});
            }
            printJson(array);
            return;
        }
        std::vector<std::vector<std::string>> rows{{"KEY", "TYPE", "VALUE", ""}};
        for (const auto& e : entries) {
            rows.push_back({e.key, std::string(preferenceTypeName(e.type)),
                            e.value ? formatPreferenceValue(*e.value) : "-", e.isSet ? "" : "(default)"});
        }
        printTable(rows);
    });

    auto* get = config->add_subcommand("get", "Print one preference");
    get->add_option("KEY", options->key, "Preference key")->required();
    get->add_flag("--json", options->json, "Print JSON");
    get->callback([&services, options] {
        const auto entries = services.preferences().list();
        const auto& entry = entryFor(entries, options->key);
        if (options->json) {
            printJson({{"key", entry.key}, {"value", toJson(entry.value)}, {"isSet", entry.isSet}});
        } else {
            std::printf("%s\n", entry.value ? formatPreferenceValue(*entry.value).c_str() : "");
        }
    });

    auto* set = config->add_subcommand("set", "Change one preference");
    set->add_option("KEY", options->key, "Preference key")->required();
    set->add_option("VALUE", options->value, "New value")->required();
    set->callback([&services, options] {
        auto& preferences = services.preferences();
        const bool wasEnabled = preferences.productAnalyticsEnabled();
        preferences.setFromString(options->key, options->value);
        // Switching analytics back on is itself reported, once it is on again.
        if (!wasEnabled && preferences.productAnalyticsEnabled()) {
            services.analytics().track(AnalyticsEvent::analyticsEnabled);
        }
    });

    auto* unset = config->add_subcommand("unset", "Return one preference to its default");
    unset->add_option("KEY", options->key, "Preference key")->required();
    unset->callback([&services, options] { services.preferences().unset(options->key); });

    // The user's own service keys, kept in the keychain; the value is read from a prompt or stdin.
    auto* secret = config->add_subcommand("secret", "Keep or forget an API key in the keychain");
    secret->require_subcommand(1);
    const std::string accounts = std::string(kElevenLabsAPIKeyAccount) + ", " + std::string(kCartesiaAPIKeyAccount) +
                                 ", " + std::string(kOpenAIAPIKeyAccount) + ", " +
                                 std::string(kCustomVoiceProviderAPIKeyAccount);
    auto checkAccount = [accounts](const std::string& account) {
        for (auto known : {kElevenLabsAPIKeyAccount, kCartesiaAPIKeyAccount, kOpenAIAPIKeyAccount,
                           kCustomVoiceProviderAPIKeyAccount}) {
            if (account == known) return;
        }
        throw CommandFailed(kUsage, "Unknown key account " + account + " (one of: " + accounts + ").");
    };
    auto* secretSet = secret->add_subcommand("set", "Store the key for ACCOUNT (read from the prompt or stdin)");
    secretSet->add_option("ACCOUNT", options->key, "One of: " + accounts)->required();
    secretSet->callback([&services, options, checkAccount] {
        checkAccount(options->key);
        auto value = readSecretInput("Key", "No key given (type it at the prompt or pipe it on stdin).");
        services.secrets().write(options->key, value);
        std::fill(value.begin(), value.end(), '\0');
        std::printf("Saved %s in the %s.\n", options->key.c_str(), services.secrets().description().c_str());
    });
    auto* secretClear = secret->add_subcommand("clear", "Forget the key for ACCOUNT");
    secretClear->add_option("ACCOUNT", options->key, "One of: " + accounts)->required();
    secretClear->callback([&services, options, checkAccount] {
        checkAccount(options->key);
        services.secrets().remove(options->key);
        std::printf("Removed %s.\n", options->key.c_str());
    });
}

}  // namespace orvane::cli
