#include "platform/portal/portal_global_hotkeys.h"

#include <optional>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/portal/portal_bus.h"

namespace orvane {

namespace {

constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr auto kRequestTimeout = std::chrono::seconds(10);
// Binding may show the desktop's dialog, where the user confirms or changes the keys.
constexpr auto kBindTimeout = std::chrono::seconds(60);
constexpr std::uint32_t kFirstFunctionKey = 0xffbe;  // XK_F1

std::optional<HotkeyAction> actionNamed(std::string_view id) {
    for (const auto action : {HotkeyAction::newRecording, HotkeyAction::screenshot}) {
        if (rawValue(action) == id) return action;
    }
    return std::nullopt;
}

const char* describe(HotkeyAction action) {
    return action == HotkeyAction::newRecording ? "Start a new Orvane recording" : "Take an Orvane screenshot";
}

}  // namespace

std::string portalShortcutTrigger(const HotkeyChord& chord) {
    std::string out;
    if (chord.modifiers & kHotkeyControl) out += "CTRL+";
    if (chord.modifiers & kHotkeyShift) out += "SHIFT+";
    if (chord.modifiers & kHotkeyAlt) out += "ALT+";
    if (chord.modifiers & kHotkeySuper) out += "LOGO+";
    if (chord.keysym >= kFirstFunctionKey && chord.keysym < kFirstFunctionKey + 12) {
        out += "F" + std::to_string(chord.keysym - kFirstFunctionKey + 1);
    } else {
        out += static_cast<char>(chord.keysym);  // letters are lower-case keysyms already, digits are digits
    }
    return out;
}

struct PortalGlobalHotkeys::Impl {
    std::unique_ptr<portal::PortalBus> bus;
    std::string session;
    std::map<HotkeyAction, HotkeyChord> bound;
    portal::SlotPtr activated;
    Handler handler;

    void closeSession() {
        if (session.empty()) return;
        sd_bus_call_method(bus->get(), portal::kService, session.c_str(), "org.freedesktop.portal.Session", "Close",
                           nullptr, nullptr, "");
        session.clear();
    }

    bool openSession() {
        auto created =
            bus->request(kGlobalShortcuts, "CreateSession", {},
                         {{"session_handle_token", portal::handleToken("orvane_shortcuts")}}, kRequestTimeout);
        if (created.code != 0) return false;
        portal::readDictionary(created.results.get(), [&](const std::string& key, sd_bus_message* m) {
            const char* handle = nullptr;
            if (key != "session_handle" || sd_bus_message_read(m, "v", "s", &handle) < 0) return false;
            session = handle;
            return true;
        });
        return !session.empty();
    }

    // Binds `wanted` in a fresh session; true when the desktop accepted.
    bool bind(const std::map<HotkeyAction, HotkeyChord>& wanted) {
        closeSession();
        if (wanted.empty()) return true;
        if (!openSession()) return false;
        const auto answer = bus->request(
            kGlobalShortcuts, "BindShortcuts",
            [&](sd_bus_message* call) {
                int r = sd_bus_message_append(call, "o", session.c_str());
                if (r >= 0) r = sd_bus_message_open_container(call, 'a', "(sa{sv})");
                for (const auto& [action, chord] : wanted) {
                    if (r >= 0) r = sd_bus_message_open_container(call, 'r', "sa{sv}");
                    if (r >= 0) r = sd_bus_message_append(call, "s", std::string(rawValue(action)).c_str());
                    if (r >= 0)
                        r = portal::appendOptions(call, {{"description", std::string(describe(action))},
                                                         {"preferred_trigger", portalShortcutTrigger(chord)}});
                    if (r >= 0) r = sd_bus_message_close_container(call);
                }
                if (r >= 0) r = sd_bus_message_close_container(call);
                if (r >= 0) r = sd_bus_message_append(call, "s", "");  // no parent window to name
                return r;
            },
            {}, kBindTimeout);
        if (answer.code != 0) {
            closeSession();
            return false;
        }
        return true;
    }

    void onActivated(sd_bus_message* m) {
        const char* from = nullptr;
        const char* id = nullptr;
        std::uint64_t timestamp = 0;
        if (sd_bus_message_read(m, "ost", &from, &id, &timestamp) < 0 || session != from) return;
        if (const auto action = actionNamed(id); action && bound.count(*action) && handler) handler(*action);
    }
};

std::unique_ptr<PortalGlobalHotkeys> PortalGlobalHotkeys::connect() {
    try {
        auto bus = std::make_unique<portal::PortalBus>();
        const auto version = bus->interfaceVersion(kGlobalShortcuts);
        if (!version) return nullptr;
        log::info(log_area::kApp, "global shortcuts through the desktop's portal, version %u", *version);
        return std::make_unique<PortalGlobalHotkeys>(std::move(bus));
    } catch (const portal::PortalError& e) {
        log::info(log_area::kApp, "no shortcuts portal: %s", e.what());
        return nullptr;
    }
}

PortalGlobalHotkeys::PortalGlobalHotkeys(std::unique_ptr<portal::PortalBus> bus) : impl_(std::make_unique<Impl>()) {
    impl_->bus = std::move(bus);
    sd_bus_slot* slot = nullptr;
    // The portal sends presses of every session of ours; the handler keeps the current one's.
    sd_bus_match_signal(
        impl_->bus->get(), &slot, nullptr, portal::kPath, kGlobalShortcuts, "Activated",
        [](sd_bus_message* m, void* data, sd_bus_error*) {
            static_cast<Impl*>(data)->onActivated(m);
            return 0;
        },
        impl_.get());
    impl_->activated.reset(slot);
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() { impl_->closeSession(); }

void PortalGlobalHotkeys::setHandler(Handler handler) { impl_->handler = std::move(handler); }

bool PortalGlobalHotkeys::registerHotkey(HotkeyAction action, const HotkeyChord& chord) {
    auto wanted = impl_->bound;
    wanted[action] = chord;
    try {
        if (impl_->bind(wanted)) {
            impl_->bound = std::move(wanted);
            return true;
        }
    } catch (const portal::PortalError& e) {
        log::warning(log_area::kApp, "the shortcuts portal failed: %s", e.what());
    }
    // The session that held the other actions is gone; bind them again on their own.
    wanted.erase(action);
    try {
        if (!impl_->bind(wanted)) impl_->bound.clear();
    } catch (const portal::PortalError&) {
        impl_->bound.clear();
    }
    return false;
}

void PortalGlobalHotkeys::unregisterHotkey(HotkeyAction action) {
    if (!impl_->bound.erase(action)) return;
    try {
        if (!impl_->bind(impl_->bound)) impl_->bound.clear();
    } catch (const portal::PortalError& e) {
        log::warning(log_area::kApp, "the shortcuts portal failed: %s", e.what());
        impl_->bound.clear();
    }
}

int PortalGlobalHotkeys::fd() const { return sd_bus_get_fd(impl_->bus->get()); }

void PortalGlobalHotkeys::dispatchPending() {
    while (sd_bus_process(impl_->bus->get(), nullptr) > 0) {
    }
}

}  // namespace orvane
