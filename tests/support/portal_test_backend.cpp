// A desktop's own side of two portals for the headless Wayland test session, where no desktop shell
// runs: the permission dialog (org.freedesktop.impl.portal.Access, which screenshots need) and the
// global shortcuts (org.freedesktop.impl.portal.GlobalShortcuts). It answers as a user would:
// "allow", or "deny" while the file DECLINE exists. Every question is appended to the file LOG
// ("access TITLE", "bind ID TRIGGER" per shortcut), so a test can see what was asked. A test presses
// a bound shortcut by calling org.orvane.test.Keyboard.Press(s id) on it.
//
//   orvane_test_portal_backend LOG DECLINE
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";
const char* logFile = nullptr;
const char* declineFile = nullptr;
// Which session holds each shortcut, as the last binding left it.
std::map<std::string, std::string> sessionOf;

void note(const std::string& line) {
    if (FILE* out = std::fopen(logFile, "a")) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

std::uint32_t answer() { return access(declineFile, F_OK) == 0 ? 1 : 0; }

int accessDialog(sd_bus_message* m, void*, sd_bus_error*) {
    const char *handle = nullptr, *app = nullptr, *parent = nullptr, *title = nullptr, *subtitle = nullptr,
               *body = nullptr;
    const int r = sd_bus_message_read(m, "osssss", &handle, &app, &parent, &title, &subtitle, &body);
    if (r < 0) return r;
    note(std::string("access ") + title);
    return sd_bus_reply_method_return(m, "ua{sv}", answer(), 0);
}

int createSession(sd_bus_message* m, void*, sd_bus_error*) {
    const char *handle = nullptr, *session = nullptr, *app = nullptr;
    const int r = sd_bus_message_read(m, "oos", &handle, &session, &app);
    if (r < 0) return r;
    return sd_bus_reply_method_return(m, "ua{sv}", 0, 1, "session_handle", "s", session);
}

int bindShortcuts(sd_bus_message* m, void*, sd_bus_error*) {
    const char *handle = nullptr, *session = nullptr;
    int r = sd_bus_message_read(m, "oo", &handle, &session);
    if (r < 0) return r;
    std::map<std::string, std::string> asked;
    if ((r = sd_bus_message_enter_container(m, 'a', "(sa{sv})")) < 0) return r;
    while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
        const char* id = nullptr;
        if ((r = sd_bus_message_read(m, "s", &id)) < 0) return r;
        std::string trigger;
        if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* key = nullptr;
            sd_bus_message_read(m, "s", &key);
            const char* value = nullptr;
            if (std::string(key) == "preferred_trigger" && sd_bus_message_read(m, "v", "s", &value) >= 0) {
                trigger = value;
            } else {
                sd_bus_message_skip(m, "v");
            }
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
        asked[id] = trigger;
    }
    sd_bus_message_exit_container(m);
    for (const auto& [id, trigger] : asked) note("bind " + id + " " + trigger);
    const std::uint32_t response = answer();
    if (response == 0) {
        for (const auto& [id, trigger] : asked) sessionOf[id] = session;
    }
    // The bound shortcuts go back with how the desktop describes their keys.
    sd_bus_message* reply = nullptr;
    if ((r = sd_bus_message_new_method_return(m, &reply)) < 0) return r;
    sd_bus_message_append(reply, "u", response);
    sd_bus_message_open_container(reply, 'a', "{sv}");
    sd_bus_message_open_container(reply, 'e', "sv");
    sd_bus_message_append(reply, "s", "shortcuts");
    sd_bus_message_open_container(reply, 'v', "a(sa{sv})");
    sd_bus_message_open_container(reply, 'a', "(sa{sv})");
    for (const auto& [id, trigger] : asked) {
        sd_bus_message_append(reply, "(sa{sv})", id.c_str(), 2, "description", "s", id.c_str(), "trigger_description",
                              "s", trigger.c_str());
    }
    sd_bus_message_close_container(reply);
    sd_bus_message_close_container(reply);
    sd_bus_message_close_container(reply);
    sd_bus_message_close_container(reply);
    r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int listShortcuts(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, "ua{sv}", 0, 0); }

int press(sd_bus_message* m, void*, sd_bus_error* error) {
    const char* id = nullptr;
    const int r = sd_bus_message_read(m, "s", &id);
    if (r < 0) return r;
    const auto held = sessionOf.find(id);
    if (held == sessionOf.end()) return sd_bus_error_set(error, "org.orvane.test.NotBound", id);
    note(std::string("press ") + id);
    sd_bus_emit_signal(sd_bus_message_get_bus(m), kPath, "org.freedesktop.impl.portal.GlobalShortcuts", "Activated",
                       "osta{sv}", held->second.c_str(), id, std::uint64_t{0}, 0);
    return sd_bus_reply_method_return(m, "");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
const sd_bus_vtable kAccess[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("AccessDialog", "osssssa{sv}", "ua{sv}", accessDialog, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kShortcuts[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateSession", "oosa{sv}", "ua{sv}", createSession, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("BindShortcuts", "ooa(sa{sv})sa{sv}", "ua{sv}", bindShortcuts, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ListShortcuts", "oo", "ua{sv}", listShortcuts, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Activated", "osta{sv}", 0),
    SD_BUS_SIGNAL("Deactivated", "osta{sv}", 0),
    SD_BUS_SIGNAL("ShortcutsChanged", "oa(sa{sv})", 0),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kKeyboard[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Press", "s", "", press, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
#pragma GCC diagnostic pop

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOG DECLINE\n", argv[0]);
        return 2;
    }
    logFile = argv[1];
    declineFile = argv[2];
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return 1;
    if (sd_bus_add_object_vtable(bus, nullptr, kPath, "org.freedesktop.impl.portal.Access", kAccess, nullptr) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, kPath, "org.freedesktop.impl.portal.GlobalShortcuts", kShortcuts,
                                 nullptr) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, kPath, "org.orvane.test.Keyboard", kKeyboard, nullptr) < 0)
        return 1;
    if (sd_bus_request_name(bus, "org.freedesktop.impl.portal.desktop.orvanetest", 0) < 0) return 1;
    for (;;) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        if (sd_bus_wait(bus, UINT64_MAX) < 0) break;
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
