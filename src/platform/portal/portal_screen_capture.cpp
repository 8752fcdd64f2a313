#include "platform/portal/portal_screen_capture.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/portal/pipewire_stream.h"

namespace orvane {

namespace {

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";

// Plain calls answer at once; a portal that is slower than this is stuck.
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;
// Bounds on the portal's answers: Start waits for the user in the desktop's dialog.
constexpr auto kRequestTimeout = std::chrono::seconds(10);
constexpr auto kDialogTimeout = std::chrono::seconds(120);
constexpr auto kFormatTimeout = std::chrono::seconds(5);

// The portal's source types and cursor modes, as bit masks.
constexpr std::uint32_t kSourceMonitor = 1, kSourceWindow = 2;
constexpr std::uint32_t kCursorEmbedded = 2, kCursorMetadata = 4;
// Remember the grant until the user revokes it.
constexpr std::uint32_t kPersistUntilRevoked = 2;

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
    std::string text(int code) const {
        if (error.message) return error.message;
        return std::string("error ") + std::to_string(-code);
    }
};

using OptionValue = std::variant<std::string, std::uint32_t, bool>;
using Options = std::vector<std::pair<std::string, OptionValue>>;

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

struct PickedStream {
    std::uint32_t node = 0;
};

std::string tokenName(const char* prefix) {
    static std::atomic<unsigned> counter{0};
    return std::string(prefix) + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

std::string kindName(DesktopPickKind kind) { return kind == DesktopPickKind::window ? "window" : "screen"; }

}  // namespace

struct PortalScreenCapture::Impl {
    PortalTokenStore tokens;
    BusPtr bus;
    std::string sender;  // our unique name as the portal spells it in request paths
    std::uint32_t sourceTypes = 0;
    std::uint32_t cursorModes = 0;
    std::uint32_t version = 0;

    std::string session;
    std::uint32_t cursorMode = 0;
    std::unique_ptr<PipeWireStream> stream;
    std::optional<Size> pictureSize;

    ~Impl() { closeSession(); }

    std::uint32_t property(const char* name) {
        BusError error;
        std::uint32_t value = 0;
        const int r = sd_bus_get_property_trivial(bus.get(), kPortalService, kPortalPath, kScreenCast, name,
                                                  &error.error, 'u', &value);
        if (r < 0) throw ScreenCaptureError("The desktop's screen-cast portal does not answer: " + error.text(r));
        return value;
    }

    void connect() {
        sd_bus* raw = nullptr;
        int r = sd_bus_open_user(&raw);
        if (r < 0) throw ScreenCaptureError("There is no desktop session bus to reach the screen-cast portal.");
        bus.reset(raw);
        sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
        const char* unique = nullptr;
        r = sd_bus_get_unique_name(bus.get(), &unique);
        if (r < 0) throw ScreenCaptureError("The desktop session bus does not answer.");
        sender = unique + 1;  // ":1.42" becomes "1_42"
        for (auto& c : sender) {
            if (c == '.') c = '_';
        }
        version = property("version");
        sourceTypes = property("AvailableSourceTypes");
        cursorModes = property("AvailableCursorModes");
        log::info(log_area::kCapture, "screen-cast portal version %u, sources %u, cursor modes %u", version,
                  sourceTypes, cursorModes);
    }

    struct Response {
        std::uint32_t code = 2;
        MessagePtr results;  // positioned at the results dictionary
    };

    // Calls a ScreenCast method that answers through a Request object, and waits for the answer.
    // The signal is subscribed before the call, at the path the portal will use, so a quick
    // answer is not missed.
    Response request(const char* method, const std::string& sessionArg, const std::string& parentWindow,
                     Options options, std::chrono::seconds timeout) {
        const std::string token = tokenName("orvane");
        const std::string path = std::string(kPortalPath) + "/request/" + sender + "/" + token;
        options.emplace_back("handle_token", token);

        struct Waiting {
            bool done = false;
            Response response;
        } waiting;
        sd_bus_slot* rawSlot = nullptr;
        int r = sd_bus_match_signal(
            bus.get(), &rawSlot, nullptr, path.c_str(), "org.freedesktop.portal.Request", "Response",
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
        if (r < 0) throw ScreenCaptureError("Could not listen to the screen-cast portal.");
        SlotPtr slot(rawSlot);

        sd_bus_message* rawCall = nullptr;
        r = sd_bus_message_new_method_call(bus.get(), &rawCall, kPortalService, kPortalPath, kScreenCast, method);
        MessagePtr call(rawCall);
        if (r >= 0 && !sessionArg.empty()) r = sd_bus_message_append(call.get(), "o", sessionArg.c_str());
        if (r >= 0 && std::string(method) == "Start") r = sd_bus_message_append(call.get(), "s", parentWindow.c_str());
        if (r >= 0) r = appendOptions(call.get(), options);
        if (r < 0) throw ScreenCaptureError("Could not build the screen-cast request.");
        BusError error;
        sd_bus_message* rawReply = nullptr;
        r = sd_bus_call(bus.get(), call.get(), kCallTimeoutUs, &error.error, &rawReply);
        MessagePtr reply(rawReply);
        if (r < 0)
            throw ScreenCaptureError(std::string("The screen-cast portal refused ") + method + ": " + error.text(r));

        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!waiting.done) {
            r = sd_bus_process(bus.get(), nullptr);
            if (r < 0) throw ScreenCaptureError("The desktop session bus went away.");
            if (r > 0) continue;
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                sd_bus_call_method(bus.get(), kPortalService, path.c_str(), "org.freedesktop.portal.Request", "Close",
                                   nullptr, nullptr, "");
                throw ScreenCaptureError("The desktop's screen-sharing dialog did not answer in time.");
            }
            r = sd_bus_wait(bus.get(), static_cast<std::uint64_t>(
                                           std::chrono::duration_cast<std::chrono::microseconds>(left).count()));
            if (r < 0) throw ScreenCaptureError("The desktop session bus went away.");
        }
        return std::move(waiting.response);
    }

    void closeSession() {
        stream.reset();
        if (session.empty() || !bus) return;
        sd_bus_call_method(bus.get(), kPortalService, session.c_str(), "org.freedesktop.portal.Session", "Close",
                           nullptr, nullptr, "");
        session.clear();
    }

    // One attempt at CreateSession, SelectSources and Start; the node picked, or the portal's code.
    std::variant<PickedStream, std::uint32_t> startSession(DesktopPickKind kind, const std::string& restoreToken) {
        auto created =
            request("CreateSession", "", "", {{"session_handle_token", tokenName("orvane_session")}}, kRequestTimeout);
        if (created.code != 0) return created.code;
        readDictionary(created.results.get(), [&](const std::string& key, sd_bus_message* m) {
            const char* handle = nullptr;
            if (key != "session_handle" || sd_bus_message_read(m, "v", "s", &handle) < 0) return false;
            session = handle;
            return true;
        });
        if (session.empty()) throw ScreenCaptureError("The screen-cast portal opened no session.");

        Options select{{"types", kind == DesktopPickKind::window ? kSourceWindow : kSourceMonitor},
                       {"multiple", false}};
        // The pointer apart from the picture lets the editor restyle it; otherwise it is drawn in.
        cursorMode = (cursorModes & kCursorMetadata)   ? kCursorMetadata
                     : (cursorModes & kCursorEmbedded) ? kCursorEmbedded
                                                       : 0;
        if (cursorMode) select.emplace_back("cursor_mode", cursorMode);
        if (version >= 4) {
            select.emplace_back("persist_mode", kPersistUntilRevoked);
            if (!restoreToken.empty()) select.emplace_back("restore_token", restoreToken);
        }
        auto selected = request("SelectSources", session, "", std::move(select), kRequestTimeout);
        if (selected.code != 0) return selected.code;

        auto started = request("Start", session, "", {}, kDialogTimeout);
        if (started.code != 0) return started.code;
        std::optional<PickedStream> picked;
        std::string newToken;
        readDictionary(started.results.get(), [&](const std::string& key, sd_bus_message* m) {
            if (key == "restore_token") {
                const char* token = nullptr;
                if (sd_bus_message_read(m, "v", "s", &token) < 0) return false;
                newToken = token;
                return true;
            }
            if (key != "streams" || sd_bus_message_enter_container(m, 'v', "a(ua{sv})") <= 0) return false;
            if (sd_bus_message_enter_container(m, 'a', "(ua{sv})") > 0) {
                while (sd_bus_message_enter_container(m, 'r', "ua{sv}") > 0) {
                    std::uint32_t node = 0;
                    sd_bus_message_read(m, "u", &node);
                    // Properties (size, position, source_type) are not trusted: some backends
                    // misreport the type, and the negotiated format gives the size.
                    sd_bus_message_skip(m, "a{sv}");
                    sd_bus_message_exit_container(m);
                    if (!picked) picked = PickedStream{node};
                }
                sd_bus_message_exit_container(m);
            }
            sd_bus_message_exit_container(m);
            return true;
        });
        if (!picked) throw ScreenCaptureError("The desktop shared nothing to record.");
        // Each grant hands out a new token; the old one is used up.
        if (!newToken.empty() && tokens.save) tokens.save(kind, newToken);
        return *picked;
    }

    int openRemote() {
        BusError error;
        sd_bus_message* rawReply = nullptr;
        int r = sd_bus_call_method(bus.get(), kPortalService, kPortalPath, kScreenCast, "OpenPipeWireRemote",
                                   &error.error, &rawReply, "oa{sv}", session.c_str(), 0);
        MessagePtr reply(rawReply);
        if (r < 0) throw ScreenCaptureError("The screen-cast portal gave no PipeWire connection: " + error.text(r));
        int fd = -1;
        if (sd_bus_message_read(reply.get(), "h", &fd) < 0)
            throw ScreenCaptureError("The screen-cast portal gave no PipeWire connection.");
        // The message owns its descriptor.
        const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (own < 0) throw ScreenCaptureError("Could not take the PipeWire connection.");
        return own;
    }
};

PortalScreenCapture::PortalScreenCapture(PortalTokenStore tokens) : impl_(std::make_unique<Impl>()) {
    impl_->tokens = std::move(tokens);
    impl_->connect();
}

PortalScreenCapture::~PortalScreenCapture() = default;

ShareableContent PortalScreenCapture::shareableContent() {
    ShareableContent content;
    if (impl_->pictureSize) {
        CaptureDisplay display;
        display.id = 1;
        display.outputName = "portal";
        display.frame = Rect{0, 0, impl_->pictureSize->width, impl_->pictureSize->height};
        content.displays.push_back(display);
    }
    return content;
}

std::optional<DesktopPickerOffer> PortalScreenCapture::desktopPicker() {
    return DesktopPickerOffer{(impl_->sourceTypes & kSourceMonitor) != 0, (impl_->sourceTypes & kSourceWindow) != 0};
}

ShareableContent PortalScreenCapture::pickInDesktopDialog(DesktopPickKind kind) {
    auto& impl = *impl_;
    const std::uint32_t wanted = kind == DesktopPickKind::window ? kSourceWindow : kSourceMonitor;
    if (!(impl.sourceTypes & wanted)) {
        throw ScreenCaptureError("This desktop cannot share a " + kindName(kind) + " for recording.");
    }
    impl.closeSession();
    impl.pictureSize.reset();
    std::string token = impl.tokens.load ? impl.tokens.load(kind) : std::string();
    auto outcome = impl.startSession(kind, token);
    // A token the portal no longer honours (revoked, or from a reset permission store): ask afresh.
    if (std::holds_alternative<std::uint32_t>(outcome) && std::get<std::uint32_t>(outcome) == 2 && !token.empty()) {
        log::info(log_area::kCapture, "the saved screen-cast grant was refused; asking again");
        impl.closeSession();
        if (impl.tokens.save) impl.tokens.save(kind, "");
        outcome = impl.startSession(kind, "");
    }
    if (const auto* code = std::get_if<std::uint32_t>(&outcome)) {
        impl.closeSession();
        if (*code == 1)
            throw ScreenCaptureError("Screen sharing was cancelled in the desktop's dialog; nothing was recorded.");
        throw ScreenCaptureError("The desktop did not share a " + kindName(kind) +
                                 " for recording; nothing was recorded.");
    }
    const auto node = std::get<PickedStream>(outcome).node;
    impl.stream = std::make_unique<PipeWireStream>(impl.openRemote(), node, 60);
    impl.pictureSize = impl.stream->waitForFormat(kFormatTimeout);
    if (!impl.pictureSize) {
        impl.closeSession();
        throw ScreenCaptureError("The shared " + kindName(kind) + " sent no picture format.");
    }
    log::info(log_area::kCapture, "screen cast of node %u at %.0fx%.0f", node, impl.pictureSize->width,
              impl.pictureSize->height);
    return shareableContent();
}

std::unique_ptr<FrameGrabber> PortalScreenCapture::grabRegion(const Rect& region, bool showCursor,
                                                              const std::vector<std::uint64_t>& /*leftOut*/) {
    if (!impl_->stream) throw ScreenCaptureError("Nothing was shared for recording yet.");
    return impl_->stream->grabber(region, showCursor && impl_->cursorMode == kCursorMetadata);
}

std::unique_ptr<FrameGrabber> PortalScreenCapture::grabWindow(std::uint64_t, const Rect&, bool) {
    throw ScreenCaptureError("On this desktop a window is chosen in the desktop's own dialog.");
}

// Wayland lets no client raise another's window.
void PortalScreenCapture::activateWindow(std::uint64_t) {}

std::vector<CaptureWindow> PortalScreenCapture::normalWindowsOn(const Rect&) { return {}; }

std::unique_ptr<FrameGrabber> PortalScreenCapture::grabWindowsOverTransparency(const Rect&,
                                                                               const std::vector<std::uint64_t>&,
                                                                               bool) {
    throw ScreenCaptureError("Recording windows over transparency needs an X11 desktop.");
}

std::optional<PointerLocation> PortalScreenCapture::pointerInPicture() const {
    if (!impl_->stream) return std::nullopt;
    return impl_->stream->cursor();
}

bool PortalScreenCapture::pointerAsMetadata() const { return impl_->stream && impl_->cursorMode == kCursorMetadata; }

}  // namespace orvane
