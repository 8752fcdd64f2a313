#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "base/file_descriptor.h"

namespace orvane::testing {

// A PipeWire video source of its own, as a desktop's screen cast publishes one: BGRx pictures of a
// fixed size with the pointer as cursor metadata (SPA_META_Cursor) beside them, sent when the test
// says so.
class CursorVideoProducer {
public:
    struct Picture {
        int pointerX = 0;
        int pointerY = 0;
        bool pointerValid = true;  // false: the metadata marks the pointer as unknown (id 0)
        bool withPixels = true;    // false: a pointer-only update, no picture
        std::uint8_t shade = 0x40;
    };

    // Connects over `connection` and publishes a node of `width` x `height` pixels. Throws
    // std::runtime_error when PipeWire refuses.
    CursorVideoProducer(FileDescriptor connection, int width, int height);
    ~CursorVideoProducer();
    CursorVideoProducer(const CursorVideoProducer&) = delete;
    CursorVideoProducer& operator=(const CursorVideoProducer&) = delete;

    // The node's id once the graph registered it (nothing after 10 s).
    std::optional<std::uint32_t> waitForNode();
    // Whether a consumer agreed on a format and buffers (nothing after 10 s).
    bool waitForStreaming();
    // Sends one buffer; false when none was free (the consumer has not given any back).
    bool publish(const Picture& picture);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::testing
