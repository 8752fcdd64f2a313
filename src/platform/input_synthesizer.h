#pragma once

#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/pointer_source.h"

namespace orvane {

// Synthetic input cannot be sent (no X server, or it lacks the XTEST extension). what() is the
// text shown.
class InputSynthesisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Drives the real pointer and keyboard, as if the user did it: used when an agent's plan is to be
// performed for real during its recording. Calls come from one thread, the one that made it.
class InputSynthesizer {
public:
    enum class Button { left = 1, middle = 2, right = 3 };

    virtual ~InputSynthesizer() = default;

    // Global pixels, the same space as PointerSource and the capture's rectangles.
    virtual void moveTo(PointerLocation location) = 0;
    virtual void setButton(Button button, bool down) = 0;
    // Types UTF-8 text key by key; characters the keyboard map lacks are typed through a spare key.
    virtual void typeText(std::string_view utf8) = 0;
};

// The X11 implementation (XTEST). Throws InputSynthesisError.
std::unique_ptr<InputSynthesizer> makeX11InputSynthesizer();

}  // namespace orvane
