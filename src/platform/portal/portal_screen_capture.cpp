#include "platform/portal/portal_screen_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/portal/pipewire_stream.h"
#include "platform/portal/portal_bus.h"

namespace orvane {

namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";

// Bounds on the portal's answers: Start waits for the user in the desktop's dialog.
constexpr auto kRequestTimeout = std::chrono::seconds(10);
constexpr auto kDialogTimeout = std::chrono::seconds(120);
constexpr auto kFormatTimeout = std::chrono::seconds(5);

// The portal's source types and cursor modes, as bit masks.
constexpr std::uint32_t kSourceMonitor = 1, kSourceWindow = 2;
constexpr std::uint32_t kCursorEmbedded = 2, kCursorMetadata = 4;
// Remember the grant until the user revokes it.
constexpr std::uint32_t kPersistUntilRevoked = 2;

using namespace portal;

// Portal failures reach the recorder as capture failures.
template <typename Call>
auto asCaptureError(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const PortalError& e) {
        throw ScreenCaptureError(e.what());
    }
}

struct PickedStream {
    std::uint32_t node = 0;
};

std::string kindName(DesktopPickKind kind) { return kind == DesktopPickKind::window ? "window" : "screen"; }

}  // namespace

struct PortalScreenCapture::Impl {
    PortalTokenStore tokens;
    std::unique_ptr<PortalBus> bus;
    std::uint32_t sourceTypes = 0;
    std::uint32_t cursorModes = 0;
    std::uint32_t version = 0;

    std::string session;
    std::uint32_t cursorMode = 0;
    std::unique_ptr<PipeWireStream> stream;
    std::optional<Size> pictureSize;

    ~Impl() { closeSession(); }

    void connect() {
        bus = std::make_unique<PortalBus>();
        version = bus->property(kScreenCast, "version");
        sourceTypes = bus->property(kScreenCast, "AvailableSourceTypes");
        cursorModes = bus->property(kScreenCast, "AvailableCursorModes");
        log::info(log_area::kCapture, "screen-cast portal version %u, sources %u, cursor modes %u", version,
                  sourceTypes, cursorModes);
    }

    PortalBus::Response request(const char* method, const std::string& sessionArg, Options options,
                                std::chrono::seconds timeout) {
        return bus->request(
            kScreenCast, method,
            [&](sd_bus_message* call) {
                int r = 0;
                if (!sessionArg.empty()) r = sd_bus_message_append(call, "o", sessionArg.c_str());
                // Start's parent window: none, we are no sandboxed client with a toplevel to name.
                if (r >= 0 && std::string(method) == "Start") r = sd_bus_message_append(call, "s", "");
                return r;
            },
            std::move(options), timeout);
    }

    void closeSession() {
        stream.reset();
        if (session.empty() || !bus) return;
        sd_bus_call_method(bus->get(), kService, session.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
                           nullptr, "");
        session.clear();
    }

    // One attempt at CreateSession, SelectSources and Start; the node picked, or the portal's code.
    std::variant<PickedStream, std::uint32_t> startSession(DesktopPickKind kind, const std::string& restoreToken) {
        auto created =
            request("CreateSession", "", {{"session_handle_token", handleToken("orvane_session")}}, kRequestTimeout);
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
        auto selected = request("SelectSources", session, std::move(select), kRequestTimeout);
        if (selected.code != 0) return selected.code;

        auto started = request("Start", session, {}, kDialogTimeout);
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
        int r = sd_bus_call_method(bus->get(), kService, kPath, kScreenCast, "OpenPipeWireRemote", &error.error,
                                   &rawReply, "oa{sv}", session.c_str(), 0);
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
    asCaptureError([&] { impl_->connect(); });
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
    auto outcome = asCaptureError([&] { return impl.startSession(kind, token); });
    // A token the portal no longer honours (revoked, or from a reset permission store): ask afresh.
    if (std::holds_alternative<std::uint32_t>(outcome) && std::get<std::uint32_t>(outcome) == 2 && !token.empty()) {
        log::info(log_area::kCapture, "the saved screen-cast grant was refused; asking again");
        impl.closeSession();
        if (impl.tokens.save) impl.tokens.save(kind, "");
        outcome = asCaptureError([&] { return impl.startSession(kind, ""); });
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
