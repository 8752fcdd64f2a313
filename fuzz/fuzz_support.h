#pragma once

// Shared by the fuzz targets: each one hands arbitrary bytes to a reader of user files and checks what
// the product relies on afterwards. A reader answering "malformed" is normal; a broken promise is
// reported like a crash, so libFuzzer keeps the input that shows it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvane::fuzz {

[[noreturn]] inline void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char* what) {
    if (!holds) finding(what);
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace orvane::fuzz
