#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// Failures of library operations. `what()` is the text shown to the user.
class LibraryError : public std::runtime_error {
public:
    enum class Code { importFailed, recordingNotFound, ambiguousRecording, projectNotFound, writeFailed };

    LibraryError(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const { return code_; }

    static LibraryError importFailed() { return {Code::importFailed, "Couldn't import video"}; }

private:
    Code code_;
};

}  // namespace orvane
