#include "platform/portal/portal_bus.h"
#include "platform/portal/portal_offers.h"

#include <unistd.h>

#include <atomic>

namespace orvane::portal {

namespace {

// Plain calls answer at once; a portal that is slower than this is stuck.
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;

}  // namespace

std::string BusError::text(int code) const {
    if (error.message) return error.message;
    return std::string("error ") + std::to_string(-code);
}

int appendOptions(sd_bus_message* m, const Options& options) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& [key, value] : options) {
        if (r < 0) return r;
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", key.c_str());
        if (r >= 0) {
            if (const auto* s = std::get_if<std::string>(&value)) r = sd_bus_message_append(m, "v", "s", s->c_str());
            if (const auto* u = std::get_if<std::uint32_t>(&value)) r = sd_bus_message_append(m, "v", "u", *u);
            if (const auto* b = std::get_if<bool>(&value)) r = sd_bus_message_append(m, "v", "b", static_cast<int>(*b));
        }
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

std::string handleToken(const char* prefix) {
    static std::atomic<unsigned> counter{0};
    return std::string(prefix) + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

PortalBus::PortalBus() {
    sd_bus* raw = nullptr;
    int r = sd_bus_open_user(&raw);
    if (r < 0) throw PortalError("There is no desktop session bus to reach the desktop's portals.");
    bus_.reset(raw);
    sd_bus_set_method_call_timeout(bus_.get(), kCallTimeoutUs);
    const char* unique = nullptr;
    r = sd_bus_get_unique_name(bus_.get(), &unique);
    if (r < 0) throw PortalError("The desktop session bus does not answer.");
    sender_ = unique + 1;  // ":1.42" becomes "1_42"
    for (auto& c : sender_) {
        if (c == '.') c = '_';
    }
}

std::optional<std::uint32_t> PortalBus::interfaceVersion(const char* interface) {
    BusError error;
    std::uint32_t value = 0;
    if (sd_bus_get_property_trivial(bus_.get(), kService, kPath, interface, "version", &error.error, 'u', &value) < 0)
        return std::nullopt;
    return value;
}

std::uint32_t PortalBus::property(const char* interface, const char* name) {
    BusError error;
    std::uint32_t value = 0;
    const int r = sd_bus_get_property_trivial(bus_.get(), kService, kPath, interface, name, &error.error, 'u', &value);
    if (r < 0) throw PortalError(std::string("The desktop's portal does not answer: ") + error.text(r));
    return value;
}

PortalBus::Response PortalBus::request(const char* interface, const char* method,
                                       const std::function<int(sd_bus_message*)>& appendArguments, Options options,
                                       std::chrono::seconds timeout) {
    const std::string token = handleToken("orvane");
    const std::string path = std::string(kPath) + "/request/" + sender_ + "/" + token;
    options.emplace_back("handle_token", token);

    struct Waiting {
        bool done = false;
        Response response;
    } waiting;
    sd_bus_slot* rawSlot = nullptr;
    int r = sd_bus_match_signal(
        bus_.get(), &rawSlot, nullptr, path.c_str(), "org.freedesktop.portal.Request", "Response",
        [](sd_bus_message* m, void* data, sd_bus_error*) -> int {
            auto* w = static_cast<Waiting*>(data);
            std::uint32_t code = 2;
            if (sd_bus_message_read(m, "u", &code) < 0) code = 2;
            w->response.code = code;
            w->response.results.reset(sd_bus_message_ref(m));
            w->done = true;
            return 0;
        },
        &waiting);
    if (r < 0) throw PortalError("Could not listen to the desktop's portal.");
    SlotPtr slot(rawSlot);

    sd_bus_message* rawCall = nullptr;
    r = sd_bus_message_new_method_call(bus_.get(), &rawCall, kService, kPath, interface, method);
    MessagePtr call(rawCall);
    if (r >= 0 && appendArguments) r = appendArguments(call.get());
    if (r >= 0) r = appendOptions(call.get(), options);
    if (r < 0) throw PortalError(std::string("Could not build the portal request ") + method + ".");
    BusError error;
    sd_bus_message* rawReply = nullptr;
    r = sd_bus_call(bus_.get(), call.get(), kCallTimeoutUs, &error.error, &rawReply);
    MessagePtr reply(rawReply);
    if (r < 0) throw PortalError(std::string("The desktop's portal refused ") + method + ": " + error.text(r));

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!waiting.done) {
        r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) throw PortalError("The desktop session bus went away.");
        if (r > 0) continue;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            sd_bus_call_method(bus_.get(), kService, path.c_str(), "org.freedesktop.portal.Request", "Close", nullptr,
                               nullptr, "");
            throw PortalError("The desktop's dialog did not answer in time.");
        }
        r = sd_bus_wait(bus_.get(), static_cast<std::uint64_t>(
                                        std::chrono::duration_cast<std::chrono::microseconds>(left).count()));
        if (r < 0) throw PortalError("The desktop session bus went away.");
    }
    return std::move(waiting.response);
}

}  // namespace orvane::portal

namespace orvane {

std::optional<std::uint32_t> offeredPortalVersion(const char* interface) {
    try {
        return portal::PortalBus().interfaceVersion(interface);
    } catch (const portal::PortalError&) {
        return std::nullopt;
    }
}

}  // namespace orvane
