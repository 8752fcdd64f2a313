#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "base/thread_affinity.h"
#include "base/uuid.h"

namespace orvane {

enum class ToastLevel { info, success, warning, error };

struct ToastAction {
    std::string label;
    std::function<void()> perform;
};

struct Toast {
    Uuid id;
    ToastLevel level = ToastLevel::info;
    std::string title;
    std::optional<std::string> detail;
    std::vector<ToastAction> actions;
    SystemTime createdAt;
    bool persistent = false;
};

// The one place user-facing outcomes are shown. A main-loop object: post and dismiss on `executor`;
// debug builds stop at once when it is touched from a second thread.
class ToastCenter {
public:
    explicit ToastCenter(Executor& executor) : executor_(executor) {}

    // How long a toast of `level` stays unless it is persistent.
    static Duration lifetime(ToastLevel level);

    Uuid post(ToastLevel level, std::string title, std::optional<std::string> detail = std::nullopt,
              std::vector<ToastAction> actions = {}, bool persistent = false);
    void dismiss(const Uuid& id);
    // Runs the action and dismisses the toast, as a click on its button does.
    void performAction(const Uuid& id, std::size_t actionIndex);

    const std::vector<Toast>& toasts() const {
        affinity_.check();
        return toasts_;
    }
    [[nodiscard]] Subscription observe(std::function<void(const std::vector<Toast>&)> observer) {
        affinity_.check();
        return changed_.subscribe(std::move(observer));
    }

private:
    Executor& executor_;
    std::vector<Toast> toasts_;
    Signal<std::vector<Toast>> changed_;
    ThreadAffinity affinity_;  // a main-loop object
};

const char* toastLevelName(ToastLevel level);

}  // namespace orvane
