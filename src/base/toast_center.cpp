#include "base/toast_center.h"

#include <algorithm>

namespace orvane {

Duration ToastCenter::lifetime(ToastLevel level) {
    using std::chrono::seconds;
    switch (level) {
        case ToastLevel::info:
        case ToastLevel::success: return seconds(4);
        case ToastLevel::warning: return seconds(7);
        case ToastLevel::error: return seconds(12);
    }
    return seconds(4);
}

Uuid ToastCenter::post(ToastLevel level, std::string title, std::optional<std::string> detail,
                       std::vector<ToastAction> actions, bool persistent) {
    affinity_.check();
    Toast toast{Uuid::random(), level, std::move(title), std::move(detail), std::move(actions),
                executor_.wallNow(), persistent};
    const Uuid id = toast.id;
    toasts_.push_back(std::move(toast));
    if (!persistent) {
        executor_.postAfter(lifetime(level), [this, id] { dismiss(id); });
    }
    changed_.emit(toasts_);
    return id;
}

void ToastCenter::dismiss(const Uuid& id) {
    affinity_.check();
    const auto removed = std::erase_if(toasts_, [&](const Toast& t) { return t.id == id; });
    if (removed > 0) changed_.emit(toasts_);
}

void ToastCenter::performAction(const Uuid& id, std::size_t actionIndex) {
    affinity_.check();
    auto it = std::find_if(toasts_.begin(), toasts_.end(), [&](const Toast& t) { return t.id == id; });
    if (it == toasts_.end() || actionIndex >= it->actions.size()) return;
    auto action = it->actions[actionIndex].perform;
    dismiss(id);
    if (action) action();
}

const char* toastLevelName(ToastLevel level) {
    switch (level) {
        case ToastLevel::info: return "info";
        case ToastLevel::success: return "success";
        case ToastLevel::warning: return "warning";
        case ToastLevel::error: return "error";
    }
    return "info";
}

}  // namespace orvane
