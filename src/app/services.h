#pragma once

// The composition root: the one place that chooses the real implementations (X11 or portal capture,
// PulseAudio, V4L2 cameras, the Secret Service, the export pipeline) and the product rules that tie
// them together. Each front end (the `orvane` command, the desktop studio) builds one per process;
// commands and windows take what they need from it and hold no rules of their own.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/event_loop.h"
#include "base/toast_center.h"
#include "cloud/remote_api_client.h"
#include "recording/recording_library.h"
#include "recording/tracks/device_catalog.h"

namespace orvane {

class AppAnalyticsClient;
class AppConfiguration;
class AuthStore;
class EditorSession;
class RemoteEditPoller;
struct RemoteEditTarget;
class BundleConfig;
class HttpTransport;
class ShareClient;
class CameraSystem;
struct CameraFrame;
class AudioSystem;
class AudioOutput;
class JsonPreferencesStore;
class PointerSource;
class DesktopScreenshot;
class PortalScreenshot;
class PortalScreenCapture;
class Preferences;
class ScreenCaptureSystem;
class SecretStore;
class SpeechRecognitionService;
class VoiceProviderRegistry;
enum class RecognizerChoice;
struct CaptionServices;
class VolumeFreeSpace;
enum class ShareBackendMode;
struct ExportServices;
struct RecordingOptions;
struct ScreenRecorderServices;

namespace app {

// Where this process keeps its data. The defaults are the user's own folders; the demo and tests
// point them at a private folder.
struct ServiceLocations {
    std::optional<std::filesystem::path> preferencesFile;
    std::optional<LibraryLocation> library;
    std::filesystem::path cacheRoot;  // render caches; empty: the user's cache folder
    bool useRenderCaches = true;
    // Makes the camera system; empty: the machine's V4L2 cameras. Tests give a test-pattern camera.
    std::function<std::unique_ptr<CameraSystem>()> makeCameraSystem;
};

// Everything is made on first use, so a command that lists preferences never opens a display, a
// sound server or the library. A main-loop object.
class Services {
public:
    explicit Services(ServiceLocations locations = {});
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    EventLoop& mainLoop() { return mainLoop_; }
    ToastCenter& toasts() { return toasts_; }

    Preferences& preferences();
    const AppConfiguration& configuration();
    SecretStore& secrets();
    // Opening it runs the recovery pass over unfinished captures.
    RecordingLibrary& library();

    // X11, or the screen-cast portal on a Wayland desktop (see chooseCaptureBackend). Throws
    // ScreenCaptureError when the chosen backend does not answer.
    ScreenCaptureSystem& screenCapture();
    PointerSource& pointer();
    // Where the desktop takes screenshots itself: the Screenshot portal of a Wayland desktop; null
    // on X11, where screenshots grab the display under the pointer. Throws ScreenCaptureError on a
    // Wayland desktop that offers no Screenshot portal.
    DesktopScreenshot* desktopScreenshot();

    // What a recording with `options` needs: the capture, the pointer and its sampler's queue, the
    // disk check, the sound server for system audio and the microphone, the face camera, and where
    // the transparent-capture probe is remembered. Throws std::runtime_error when system audio is
    // asked for and no sound server answers; the side tracks go on without one and say so.
    // `cameraPreview` receives the face track's frames (on the camera's thread) for the bubble.
    ScreenRecorderServices recorderServices(const RecordingOptions& options,
                                            std::function<void(const CameraFrame&)> cameraPreview = {});

    // The devices a new recording can use, as the device menus and the new-recording sheet list them.
    // Empty when there are none, or no sound server answers for the microphones.
    std::vector<CaptureDeviceInfo> cameras();
    std::vector<CaptureDeviceInfo> microphones();
    // The cameras themselves, for the face-camera bubble's live picture.
    CameraSystem& cameraSystem();

    const ExportServices& exportServices();

    // Speech recognition on this computer (PocketSphinx with the installed language models), or
    // by the OpenAI transcription service with the user's key ($ORVANE_SERVICE_URL_OPENAI).
    // Nothing chosen: the recogniser preference.
    SpeechRecognitionService& speechRecognition(std::optional<RecognizerChoice> choice = std::nullopt);
    // What a captioning run needs: the recogniser service and the outside ffmpeg for files the
    // in-process conversion cannot read.
    CaptionServices captionServices(std::optional<RecognizerChoice> choice = std::nullopt);
    // Product analytics: off when the user switched it off, and in test and CI runs
    // (ORVANE_ANALYTICS, $CI); $ORVANE_SERVICE_URL_ANALYTICS points it elsewhere.
    AppAnalyticsClient& analytics();
    // The voiceover providers, their keys read from the keychain when a request needs them.
    VoiceProviderRegistry& voiceProviders();
    // The sound server; throws std::runtime_error with the reason when none answers.
    AudioSystem& soundServer();
    // Where the editor's preview plays its sound, connected on first use; null when no sound server
    // answers (the reason is logged), and the preview then plays silently on the steady clock.
    AudioOutput* soundOutput();
    // Online services. Base URLs follow the bundle keys and preferences, and
    // $ORVANE_SERVICE_URL_API / _AUTH point them elsewhere (a local server in tests).
    std::shared_ptr<HttpTransport> httpTransport();
    // The signed-in account; not bootstrapped until a command asks for it.
    AuthStore& auth();
    std::shared_ptr<RemoteAPIClient> remoteAPI();
    // The account's current token and its refresh after the backend refused one, for calls that
    // follow the refresh-once-and-retry-once rule (withOneRefresh).
    RemoteAPIClient::TokenProvider accountToken();
    RefreshAfterRejection accountRefresh();
    // A backend call under that rule.
    template <typename Call>
    auto withAccount(Call&& call) -> decltype(call()) {
        return withOneRefresh(accountToken(), accountRefresh(), std::forward<Call>(call));
    }
    // Keeps an open editor in step with the edits an agent makes to the recording's shared video:
    // the poller (not started) for `target`, fetching on its own queue; null when the recording was
    // never shared. The poller lets the edit go when the editor closes.
    std::shared_ptr<RemoteEditPoller> remoteEditPoller(const RecordingMeta& meta, RemoteEditTarget target);
    // The same for a session opened for editing, saved by the session itself.
    std::shared_ptr<RemoteEditPoller> remoteEditPoller(const RecordingMeta& meta,
                                                       const std::shared_ptr<EditorSession>& session);
    // The share backend the preferences choose, made afresh for each share so a changed setting
    // applies at once; null when the chosen backend is not configured.
    // `mode` overrides the preference for one share.
    std::shared_ptr<ShareClient> makeShareClient(std::optional<ShareBackendMode> mode = std::nullopt);
    // The export services with that share client and the user's upload limit.
    ExportServices shareExportServices(std::optional<ShareBackendMode> mode = std::nullopt);

private:
    // The sound server, connected on first use; null when none answers (the reason is logged, and
    // thrown when `required`).
    AudioSystem* audioSystem(bool required);

    ServiceLocations locations_;
    EventLoop mainLoop_;
    ToastCenter toasts_{mainLoop_};
    std::unique_ptr<JsonPreferencesStore> preferencesStore_;
    std::unique_ptr<Preferences> preferences_;
    std::unique_ptr<BundleConfig> bundle_;
    std::unique_ptr<AppConfiguration> configuration_;
    std::unique_ptr<SecretStore> secrets_;
    std::unique_ptr<RecordingLibrary> library_;
    std::unique_ptr<ScreenCaptureSystem> screenCapture_;
    PortalScreenCapture* portal_ = nullptr;  // screenCapture_ when it is the Wayland portal
    std::unique_ptr<PointerSource> pointer_;
    std::unique_ptr<PortalScreenshot> portalScreenshot_;
    std::unique_ptr<SerialQueue> cursorQueue_;
    std::unique_ptr<VolumeFreeSpace> freeSpace_;
    std::unique_ptr<AudioSystem> audio_;
    std::optional<std::string> audioFailure_;
    std::unique_ptr<AudioOutput> audioOutput_;
    bool audioOutputTried_ = false;
    std::unique_ptr<CameraSystem> cameras_;
    std::unique_ptr<SerialQueue> cameraQueue_;
    std::unique_ptr<ExportServices> exportServices_;
    std::unique_ptr<SpeechRecognitionService> speech_;
    std::unique_ptr<SpeechRecognitionService> onlineSpeech_;
    std::unique_ptr<VoiceProviderRegistry> voiceProviders_;
    std::shared_ptr<HttpTransport> httpTransport_;
    std::unique_ptr<AuthStore> auth_;
    // The queue first: the client stops its sends before the queue's thread is joined.
    std::unique_ptr<SerialQueue> analyticsQueue_;
    std::unique_ptr<AppAnalyticsClient> analytics_;
    std::shared_ptr<RemoteAPIClient> remoteAPI_;
    std::unique_ptr<SerialQueue> remoteEditQueue_;
    std::thread::id mainThread_ = std::this_thread::get_id();
};

}  // namespace app
}  // namespace orvane
