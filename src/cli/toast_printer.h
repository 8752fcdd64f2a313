#pragma once

#include <set>

#include "base/signal.h"
#include "base/toast_center.h"
#include "base/uuid.h"

namespace orvane::cli {

// Toasts are how the engine reports outcomes; on a terminal each becomes one stderr line.
class ToastPrinter {
public:
    explicit ToastPrinter(ToastCenter& toasts);

private:
    std::set<Uuid> printed_;
    Subscription subscription_;
};

}  // namespace orvane::cli
