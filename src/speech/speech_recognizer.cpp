#include "speech/speech_recognizer.h"

#include <cstdlib>

namespace orvane {

std::string currentLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "C";
}

}  // namespace orvane
