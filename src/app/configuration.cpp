#include "app/configuration.h"

#include "app/built_in_configuration.h"
#include "base/text.h"

namespace orvane {

std::string AppConfiguration::buildChannel() const {
    return toLowerAscii(bundleString("OrvaneBuildChannel", "production"));
}

std::string AppConfiguration::apiBaseURL() const {
    // A developer pointing one machine at another backend does it with the preference, not a rebuild.
    if (auto override = preferences_.apiBaseURLOverride()) return std::move(*override);
    return bundleString("OrvaneAPIBaseURL", built_in::productionAPIBaseURL);
}

std::string AppConfiguration::authEmailConfirmationURL() const {
    return bundleString("OrvaneAuthEmailConfirmationURL", built_in::emailConfirmationURL);
}

std::string AppConfiguration::downloadURL() const { return bundleString("OrvaneDownloadURL", built_in::downloadURL); }

std::string AppConfiguration::updatePublicKey() const { return bundleString("OrvaneUpdatePublicKey", ""); }

std::string AppConfiguration::defaultURLScheme() const {
    return toLowerAscii(
        bundleString("OrvaneDefaultURLScheme", byChannel(built_in::productionURLScheme, built_in::stagingName)));
}

std::string AppConfiguration::legacyURLScheme() const {
    return toLowerAscii(
        bundleString("OrvaneLegacyURLScheme", byChannel(built_in::productionLegacyURLScheme, built_in::stagingName)));
}

std::set<std::string> AppConfiguration::acceptedURLSchemes() const { return {defaultURLScheme(), legacyURLScheme()}; }

std::string AppConfiguration::cliCommandName() const {
    return bundleString("OrvaneCLICommandName", byChannel(built_in::productionCLICommandName, built_in::stagingName));
}

std::string AppConfiguration::cliInstallPath() const { return "/usr/local/bin/" + cliCommandName(); }

std::string AppConfiguration::keychainService() const {
    std::string fallback(built_in::keychainService);
    if (isStaging()) fallback += built_in::stagingKeychainSuffix;
    return bundleString("OrvaneKeychainService", fallback);
}

std::string AppConfiguration::shareHost() const { return bundleString("OrvaneShareHost", built_in::webSiteOrigin); }

std::string AppConfiguration::shareURLPattern() const {
    return bundleString("OrvaneShareURLPattern", built_in::shareURLPattern);
}

std::string AppConfiguration::shareSupabaseURL() const {
    return bundleString("OrvaneShareSupabaseURL", built_in::shareSupabaseURL);
}

std::string AppConfiguration::shareSupabaseAnonKey() const {
    return bundleString("OrvaneShareSupabaseAnonKey", built_in::shareSupabaseAnonKey);
}

std::string AppConfiguration::shareSupabaseBucket() const {
    return bundleString("OrvaneShareSupabaseBucket", built_in::shareSupabaseBucket);
}

std::string AppConfiguration::shareSupabaseMetadataTable() const {
    return bundleString("OrvaneShareSupabaseMetadataTable", built_in::shareSupabaseMetadataTable);
}

std::string AppConfiguration::authSupabaseURL() const {
    return bundleString("OrvaneVexoSupabaseURL", built_in::authSupabaseURL);
}

std::string AppConfiguration::authSupabaseAnonKey() const {
    return bundleString("OrvaneVexoSupabaseAnonKey", built_in::authSupabaseAnonKey);
}

std::string AppConfiguration::analyticsProjectToken() const {
    // Unlike the names above, anything but a production build reports to the second project, so test
    // builds of any channel never pollute production numbers.
    const auto fallback =
        buildChannel() == "production" ? built_in::productionAnalyticsToken : built_in::stagingAnalyticsToken;
    return bundleString("PostHogProjectToken", fallback);
}

}  // namespace orvane
