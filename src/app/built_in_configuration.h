#pragma once

#include <string_view>

// What the program uses when the bundle does not name an endpoint. Builds for other deployments set the
// bundle keys instead of editing these.
namespace orvane::built_in {

inline constexpr std::string_view productionAPIBaseURL = "https://api.orvane.app";
inline constexpr std::string_view webSiteOrigin = "https://orvane.app";
inline constexpr std::string_view emailConfirmationURL = "https://orvane.app/confirm-email";
inline constexpr std::string_view downloadURL = "https://orvane.app/download";

inline constexpr std::string_view productionURLScheme = "orvane";
inline constexpr std::string_view productionLegacyURLScheme = "zant";
inline constexpr std::string_view productionCLICommandName = "orvane";
inline constexpr std::string_view stagingName = "orvane-staging";

inline constexpr std::string_view keychainService = "org.orvane.Orvane";
inline constexpr std::string_view stagingKeychainSuffix = ".Staging";

inline constexpr std::string_view shareURLPattern = "/s/";
inline constexpr std::string_view shareSupabaseURL = "https://kqvbzwtrmxplnsdhgyaf.supabase.co";
// Anonymous keys are public by design: row-level security on the project decides what they may do.
inline constexpr std::string_view shareSupabaseAnonKey =
    "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9."
    "eyJpc3MiOiJzdXBhYmFzZSIsInJlZiI6ImtxdmJ6d3RybXhwbG5zZGhneWFmIiwicm9sZSI6ImFub24iLCJpYXQiOjE3NjcyMjU2MDAsImV4cCI6"
    "MjA4Mjc1ODQwMH0.gRKjCDfJXK558DmtPK8RF6_DsJ62wrcJ4IWqYGdUoM0";
inline constexpr std::string_view shareSupabaseBucket = "zant-exports";
inline constexpr std::string_view shareSupabaseMetadataTable = "zant_exports";

inline constexpr std::string_view authSupabaseURL = "https://fwzmrkqtbvxhclnpdjse.supabase.co";
inline constexpr std::string_view authSupabaseAnonKey =
    "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9."
    "eyJpc3MiOiJzdXBhYmFzZSIsInJlZiI6ImZ3em1ya3F0YnZ4aGNsbnBkanNlIiwicm9sZSI6ImFub24iLCJpYXQiOjE3NjcyMjU2MDAsImV4cCI6"
    "MjA4Mjc1ODQwMH0.8htGii4DADEhd4C4AfAMnBG_q223ADN8CeGxRj_lmhw";

// Analytics project tokens are write-only ingestion keys, safe to ship.
inline constexpr std::string_view productionAnalyticsToken = "phc_7SROqBitAuJvsSIdX0fqU8uEod9RuZzyJwtkBE3ZrXp";
inline constexpr std::string_view stagingAnalyticsToken = "phc_lu44H8xGThEcS5AIINbJH7yNLMtfoDanIKANp72F0LD";

}  // namespace orvane::built_in
