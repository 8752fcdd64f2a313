#pragma once

// The session bus as the desktop portals use it: sd-bus handles, a{sv} options, and the portals'
// request pattern (a method answers with a Request object whose Response signal carries the result).

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace orvane::portal {

inline constexpr const char* kService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPath = "/org/freedesktop/portal/desktop";

// A portal call that failed; `what()` says which and why, in words for the user.
class PortalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// An sd_bus_error freed on scope exit.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
    std::string text(int code) const;
};

using OptionValue = std::variant<std::string, std::uint32_t, bool>;
using Options = std::vector<std::pair<std::string, OptionValue>>;

// Appends `options` as an a{sv}.
int appendOptions(sd_bus_message* m, const Options& options);

// Walks an a{sv}; `read` consumes the variant of the keys it knows and answers true.
template <typename Read>
void readDictionary(sd_bus_message* m, Read&& read) {
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0) break;
        if (!read(std::string(key), m)) sd_bus_message_skip(m, "v");
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
}

// A unique token for a request or session handle of this process.
std::string handleToken(const char* prefix);

// One connection to the session bus, used from one thread. Every call is bounded: plain calls by
// 5 s, requests by the timeout given.
class PortalBus {
public:
    // Throws PortalError when there is no session bus.
    PortalBus();

    sd_bus* get() const { return bus_.get(); }

    // The version of the portal `interface` (e.g. "org.freedesktop.portal.Screenshot"), or nothing
    // when the desktop does not offer it (or no portal answers at all).
    std::optional<std::uint32_t> interfaceVersion(const char* interface);
    // An unsigned property of `interface`; throws PortalError when it cannot be read.
    std::uint32_t property(const char* interface, const char* name);

    struct Response {
        std::uint32_t code = 2;  // 0 granted, 1 cancelled by the user, 2 failed otherwise
        MessagePtr results;      // positioned at the results dictionary
    };
    // Calls `method` of `interface`, whose arguments `appendArguments` appends before the options,
    // and waits up to `timeout` for the request's answer. The signal is subscribed before the call,
    // at the path the portal will use, so a quick answer is not missed. Throws PortalError.
    Response request(const char* interface, const char* method,
                     const std::function<int(sd_bus_message*)>& appendArguments, Options options,
                     std::chrono::seconds timeout);

private:
    BusPtr bus_;
    std::string sender_;  // our unique name as the portal spells it in request paths
};

}  // namespace orvane::portal
