#pragma once

// Sentences for failures of the outside speech services (transcription and voices), shared so each
// service says the same thing for the same HTTP answer and none ever repeats the user's key.

#include <string>
#include <string_view>

#include "net/http_transport.h"

namespace orvane {

// `text` with every occurrence of `secret` replaced by "[redacted]" (an echoed key never reaches a log or
// an error). An empty secret changes nothing.
std::string redactSecret(std::string_view text, std::string_view secret);

// How the user stores a key for `account`, for a message that says a key is missing.
std::string setKeyHint(std::string_view account);

// "Add your OpenAI API key first (orvane config secret set openaiTTSAPIKey)."
std::string missingKeyMessage(std::string_view account);

// The server's own message from a JSON error body ({"error": {"message"}}, {"error": "..."},
// {"detail"}, {"message"}); nothing when the body holds none.
std::string serverErrorText(std::string_view body);

// A clear sentence for a non-2xx answer of `service`: a refused key names the command that
// replaces it, a rate limit asks to wait, a server error says the service is down; others carry
// the server's message. `key` is removed from anything quoted.
std::string describeServiceFailure(std::string_view service, const HttpResponse& response, std::string_view account,
                                   std::string_view key);

}  // namespace orvane
