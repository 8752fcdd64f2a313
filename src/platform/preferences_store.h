#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "base/signal.h"

namespace orvane {

// What a preference holds: a string, a boolean or a number.
using PreferenceValue = std::variant<std::string, bool, double>;

// A preference could not be stored (the file cannot be written, or must not be replaced).
class PreferencesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The per-user key/value store behind the settings screens. A value set here is what every later
// get() returns, in this process and in the others sharing the store (the CLI and the desktop app).
//
// Threads: get() may be called from any thread. set(), remove() and observe() belong to the owner's
// executor (the main loop), because observers are called synchronously from them.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;

    // Nothing when the key is absent or holds a value of another kind (an array, null).
    virtual std::optional<PreferenceValue> get(std::string_view key) const = 0;
    // Throws PreferencesError when the value cannot be stored; the previous value then stays.
    virtual void set(std::string_view key, PreferenceValue value) = 0;
    virtual void remove(std::string_view key) = 0;

    // Called with the key after each set() or remove() through this store.
    [[nodiscard]] Subscription observe(std::function<void(const std::string& key)> observer) {
        return changed_.subscribe(std::move(observer));
    }

protected:
    void notifyChanged(const std::string& key) const { changed_.emit(key); }

private:
    Signal<std::string> changed_;
};

}  // namespace orvane
