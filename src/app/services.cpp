#include "app/services.h"

#include <signal.h>

#include "app/analytics.h"
#include "app/capture_backend.h"
#include "app/configuration.h"
#include "app/input_group_notice.h"
#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "cloud/auth_store.h"
#include "cloud/byo_share_client.h"
#include "cloud/hosted_share_client.h"
#include "cloud/remote_api_client.h"
#include "cloud/remote_edit_poller.h"
#include "cloud/supabase_share_client.h"
#include "editor/editor_session.h"
#include "export/export_wiring.h"
#include "net/curl_http_transport.h"
#include "net/service_url.h"
#include "platform/audio_output.h"
#include "platform/bundle_config.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/portal/portal_pointer_source.h"
#include "platform/portal/portal_screen_capture.h"
#include "platform/portal/portal_screenshot.h"
#include "platform/pulse/pulse_audio_output.h"
#include "platform/pulse/pulse_audio_system.h"
#include "platform/secret_store.h"
#include "platform/v4l2/v4l2_camera_system.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"
#include "platform/xdg_paths.h"
#include "recording/alpha_probe_memo.h"
#include "recording/disk_space.h"
#include "recording/screen_movie_writer.h"
#include "recording/screen_recorder.h"
#include "recording/tracks/side_track_starters.h"
#include "recording/tracks/system_audio_capture.h"
#include "speech/auto_captioner.h"
#include "speech/openai_transcriber.h"
#include "speech/pocketsphinx_recognizer.h"
#include "speech/voice_provider_registry.h"

namespace orvane::app {

namespace {

// PostHog's public ingestion host.
constexpr const char* kAnalyticsHost = "https://us.i.posthog.com";

// "Now" for the account's token expiry.
const SystemClock& systemClock() {
    static const SystemClock clock;
    return clock;
}

}  // namespace

Services::Services(ServiceLocations locations) : locations_(std::move(locations)) {}

Services::~Services() = default;

Preferences& Services::preferences() {
    if (!preferences_) {
        preferencesStore_ = locations_.preferencesFile
                                ? std::make_unique<JsonPreferencesStore>(*locations_.preferencesFile)
                                : std::make_unique<JsonPreferencesStore>();
        preferences_ = std::make_unique<Preferences>(*preferencesStore_);
    }
    return *preferences_;
}

const AppConfiguration& Services::configuration() {
    if (!configuration_) {
        bundle_ = std::make_unique<BundleConfig>(BundleConfig::load());
        configuration_ = std::make_unique<AppConfiguration>(*bundle_, preferences());
    }
    return *configuration_;
}

SecretStore& Services::secrets() {
    if (!secrets_) secrets_ = makeSecretStore(configuration().keychainService());
    return *secrets_;
}

RecordingLibrary& Services::library() {
    if (!library_) {
        library_ = std::make_unique<RecordingLibrary>(locations_.library.value_or(LibraryLocation::standard()),
                                                      mainLoop_, toasts_);
    }
    return *library_;
}

ScreenCaptureSystem& Services::screenCapture() {
    if (screenCapture_) return *screenCapture_;
    const auto choice = chooseCaptureBackend(std::getenv("ORVANE_CAPTURE"), std::getenv("WAYLAND_DISPLAY"));
    if (choice.backend == CaptureBackend::portal) {
        // The grant is remembered per kind of source, so the desktop asks the user once.
        Preferences* prefs = &preferences();
        PortalTokenStore tokens{
            [prefs](DesktopPickKind kind) { return prefs->portalRestoreToken(kind == DesktopPickKind::window); },
            [prefs](DesktopPickKind kind, const std::string& token) {
                prefs->setPortalRestoreToken(kind == DesktopPickKind::window, token);
            }};
        try {
            auto portal = std::make_unique<PortalScreenCapture>(std::move(tokens));
            portal_ = portal.get();
            screenCapture_ = std::move(portal);
            return *screenCapture_;
        } catch (const ScreenCaptureError& e) {
            const char* display = std::getenv("DISPLAY");
            if (choice.forced || !display || !*display) throw;
            log::warning(log_area::kCapture, "%s; recording through X11 instead", e.what());
        }
    }
    screenCapture_ = std::make_unique<X11ScreenCapture>();
    return *screenCapture_;
}

PointerSource& Services::pointer() {
    if (!pointer_) {
        screenCapture();
        if (portal_) {
            PortalScreenCapture* portal = portal_;
            // The notice is posted where the monitor starts: on the main loop, as a recording starts.
            pointer_ = std::make_unique<PortalPointerSource>([portal] { return portal->pointerInPicture(); },
                                                             InputDeviceFolders{},
                                                             [this](const std::vector<std::filesystem::path>&) {
                                                                 showInputGroupNoticeOnce(preferences(), toasts_);
                                                             });
        } else {
            pointer_ = std::make_unique<X11PointerSource>();
        }
    }
    return *pointer_;
}

DesktopScreenshot* Services::desktopScreenshot() {
    screenCapture();
    if (!portal_) return nullptr;
    if (!portalScreenshot_) portalScreenshot_ = PortalScreenshot::connect();
    if (!portalScreenshot_) {
        throw ScreenCaptureError("This desktop offers no screenshot portal, so Orvane cannot take screenshots here.");
    }
    return portalScreenshot_.get();
}

AudioSystem* Services::audioSystem(bool required) {
    if (!audio_ && !audioFailure_) {
        try {
            audio_ = makePulseAudioSystem();
        } catch (const std::exception& e) {
            audioFailure_ = e.what();
            log::warning(log_area::kApp, "no sound server: %s", e.what());
        }
    }
    // System audio is part of the screen movie, so without a sound server the recording cannot start.
    if (!audio_ && required) throw std::runtime_error("System audio is unavailable: " + *audioFailure_);
    return audio_.get();
}

ScreenRecorderServices Services::recorderServices(const RecordingOptions& options,
                                                  std::function<void(const CameraFrame&)> cameraPreview) {
    if (!freeSpace_) freeSpace_ = std::make_unique<VolumeFreeSpace>(library().location().recordingsRoot);
    if (!cursorQueue_) cursorQueue_ = std::make_unique<SerialQueue>("orvane.cursor");
    ScreenRecorderServices services(mainLoop_, toasts_, screenCapture(), *freeSpace_);
    // Through the portal the pointer is known only when the stream sends it apart from the picture;
    // otherwise it is drawn into the picture and there is no cursor track.
    if (!portal_ || portal_->pointerAsMetadata()) services.pointer = &pointer();
    services.cursorQueue = cursorQueue_.get();
    // Whether transparent capture works is measured once per frame rate and remembered in the cache;
    // the portal shares finished pictures only, so it never records over transparency.
    if (!portal_)
        services.alphaProbe = [](int fps) {
            return alphaWriterUsable(XdgPaths::orvaneCacheFolder() / "alpha-probe.json", fps, [fps] {
                std::error_code error;
                const auto folder = std::filesystem::temp_directory_path(error);
                if (error) return AlphaProbeResult{false, 0, "no temporary folder: " + error.message()};
                return probeAlphaWriter(folder, fps);
            });
        };

    const bool anySound = options.includeSystemAudio || options.includeMicrophone || options.includeWebcam;
    AudioSystem* sound = anySound ? audioSystem(options.includeSystemAudio) : nullptr;
    if (sound) {
        services.systemAudio = [sound] { return std::make_unique<SystemAudioCapture>(*sound); };
        if (options.includeMicrophone) {
            services.microphone =
                makeMicrophoneTrackStarter(*sound, resolveMicrophone(*sound, preferences().defaultMicrophoneID()));
        }
    }
    if (options.includeWebcam) {
        if (auto device = resolveCamera(cameraSystem(), preferences().defaultCameraID())) {
            // Without a separate microphone track the face-camera file carries the voice.
            const bool withVoice = !options.includeMicrophone && sound;
            std::optional<std::string> microphone;
            if (sound) microphone = resolveMicrophone(*sound, preferences().defaultMicrophoneID());
            WebcamRecorderOptions webcamOptions;
            webcamOptions.preview = std::move(cameraPreview);
            services.faceCamera =
                makeFaceCameraTrackStarter(*cameras_, sound, *device, withVoice, microphone, std::move(webcamOptions));
            if (!cameraQueue_) cameraQueue_ = std::make_unique<SerialQueue>("orvane.camera");
            services.cameraQueue = cameraQueue_.get();
        }
    }
    return services;
}

std::vector<CaptureDeviceInfo> Services::cameras() { return DeviceCatalog::cameras(cameraSystem()); }

CameraSystem& Services::cameraSystem() {
    if (!cameras_) cameras_ = locations_.makeCameraSystem ? locations_.makeCameraSystem() : makeV4l2CameraSystem();
    return *cameras_;
}

std::vector<CaptureDeviceInfo> Services::microphones() {
    AudioSystem* sound = audioSystem(false);
    return sound ? DeviceCatalog::microphones(*sound) : std::vector<CaptureDeviceInfo>{};
}

const ExportServices& Services::exportServices() {
    if (!exportServices_) {
        ExportWiringOptions wiring;
        wiring.useRenderCaches = locations_.useRenderCaches;
        wiring.cacheRoot = locations_.cacheRoot;
        exportServices_ = std::make_unique<ExportServices>(makeExportServices(wiring));
    }
    return *exportServices_;
}

SpeechRecognitionService& Services::speechRecognition(std::optional<RecognizerChoice> choice) {
    const auto chosen =
        choice.value_or(recognizerChoiceFromRaw(preferences().speechRecognizer()).value_or(RecognizerChoice::local));
    if (chosen == RecognizerChoice::openai) {
        if (!onlineSpeech_) {
            OpenAITranscriptionConfig config;
            config.baseURL = serviceBaseURL("OPENAI", kOpenAIDefaultBaseURL);
            onlineSpeech_ = std::make_unique<OpenAISpeechService>(
                std::move(config), httpTransport(),
                [this](const std::string& account) { return secrets().read(account); });
        }
        return *onlineSpeech_;
    }
    if (!speech_) speech_ = std::make_unique<PocketSphinxService>();
    return *speech_;
}

CaptionServices Services::captionServices(std::optional<RecognizerChoice> choice) {
    return {&speechRecognition(choice), FFmpegTool::locator()};
}

VoiceProviderRegistry& Services::voiceProviders() {
    if (!voiceProviders_) {
        Preferences* prefs = &preferences();
        VoicePreferenceReader reader{[prefs] { return prefs->voiceProviderKind(); },
                                     [prefs] { return prefs->voiceProviderCustomEndpoint(); }};
        voiceProviders_ = std::make_unique<VoiceProviderRegistry>(
            std::move(reader), httpTransport(), [this](const std::string& account) { return secrets().read(account); });
    }
    return *voiceProviders_;
}

AudioSystem& Services::soundServer() {
    auto* audio = audioSystem(false);
    if (!audio) throw std::runtime_error("No sound server answered: " + audioFailure_.value_or("unknown reason"));
    return *audio;
}

AudioOutput* Services::soundOutput() {
    if (!audioOutput_ && !audioOutputTried_) {
        audioOutputTried_ = true;
        try {
            audioOutput_ = makePulseAudioOutput();
        } catch (const std::exception& e) {
            log::warning(log_area::kApp, "no sound output: %s", e.what());
        }
    }
    return audioOutput_.get();
}

std::shared_ptr<HttpTransport> Services::httpTransport() {
    if (!httpTransport_) httpTransport_ = makeHttpTransport();
    return httpTransport_;
}

AppAnalyticsClient& Services::analytics() {
    if (!analytics_) {
        AnalyticsSettings settings;
        settings.projectToken = configuration().analyticsProjectToken();
        settings.host = serviceBaseURL("ANALYTICS", kAnalyticsHost);
        settings.buildChannel = configuration().buildChannel();
        settings.appInfo = currentAnalyticsAppInfo();
        settings.allowed = analyticsAllowedByEnvironment();
        {
            // The queue's thread must never take Ctrl-C: a command's StopSignals expects every thread
            // to leave it blocked, however late the thread was started.
            sigset_t all, previous;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, &previous);
            analyticsQueue_ = std::make_unique<SerialQueue>("orvane.analytic");
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        }
        analytics_ = std::make_unique<AppAnalyticsClient>(std::move(settings), preferences(), httpTransport(),
                                                          systemClock(), *analyticsQueue_);
    }
    return *analytics_;
}

AuthStore& Services::auth() {
    if (!auth_) {
        SupabaseAuthConfig config;
        config.baseURL = serviceBaseURL("AUTH", configuration().authSupabaseURL());
        config.anonKey = configuration().authSupabaseAnonKey();
        config.emailConfirmationRedirectURL = configuration().authEmailConfirmationURL();
        auto client = std::make_shared<SupabaseAuthClient>(std::move(config), httpTransport());
        // A refresh during a share runs on the export thread; the preferences are written on the main loop.
        auto onMain = [this](std::function<void()> write) {
            if (std::this_thread::get_id() == mainThread_) {
                write();
            } else {
                mainLoop_.post(std::move(write));
            }
        };
        // A sign-out the user did not ask for is reported with its reason, on the main loop.
        auto recordSignOut = [this, onMain](const std::string& kind, const std::string& reason) {
            onMain([this, kind, reason] {
                analytics().track(AnalyticsEvent::userSignedOut, {{"kind", kind}, {"reason", reason}});
                analytics().resetIdentity();
            });
        };
        auth_ = std::make_unique<AuthStore>(std::move(client), secrets(), storedAuthSession(preferences()),
                                            keepAuthSession(preferences()), systemClock(), std::move(recordSignOut),
                                            std::move(onMain));
    }
    return *auth_;
}

std::shared_ptr<RemoteAPIClient> Services::remoteAPI() {
    if (!remoteAPI_) {
        remoteAPI_ = std::make_shared<RemoteAPIClient>(serviceBaseURL("API", configuration().apiBaseURL()),
                                                       httpTransport(), accountToken());
    }
    return remoteAPI_;
}

RemoteAPIClient::TokenProvider Services::accountToken() {
    AuthStore* account = &auth();
    return [account] { return account->validAccessToken(); };
}

RefreshAfterRejection Services::accountRefresh() {
    AuthStore* account = &auth();
    return [account](const std::string& rejected) { return account->refreshAfterRejection(rejected); };
}

std::shared_ptr<RemoteEditPoller> Services::remoteEditPoller(const RecordingMeta& meta, RemoteEditTarget target) {
    const std::string remoteID = trimWhitespaceAndNewlines(meta.remoteVideoID.value_or(""));
    if (remoteID.empty()) return nullptr;
    if (!remoteEditQueue_) remoteEditQueue_ = std::make_unique<SerialQueue>("orvane.remote-edits");
    return RemoteEditPoller::make(remoteID, backendRemoteEditFetch(remoteAPI(), accountToken(), accountRefresh()),
                                  std::move(target), mainLoop(), *remoteEditQueue_, &toasts());
}

std::shared_ptr<RemoteEditPoller> Services::remoteEditPoller(const RecordingMeta& meta,
                                                             const std::shared_ptr<EditorSession>& session) {
    std::weak_ptr<EditorSession> weakSession = session;
    return remoteEditPoller(meta,
                            RemoteEditTarget{std::shared_ptr<EditorState>(session, &session->state()), [weakSession] {
                                                 if (auto open = weakSession.lock()) open->saveOrThrow();
                                             }});
}

std::shared_ptr<ShareClient> Services::makeShareClient(std::optional<ShareBackendMode> mode) {
    auto& prefs = preferences();
    switch (mode.value_or(prefs.shareBackendMode())) {
        case ShareBackendMode::hosted: {
            return std::make_shared<HostedAPIShareClient>(remoteAPI(), httpTransport(), accountToken(),
                                                          accountRefresh());
        }
        case ShareBackendMode::byoHTTP: {
            BYOBackendConfig config;
            config.baseURL = prefs.byoBackendURL();
            config.shareHost = prefs.byoShareHost();
            if (config.baseURL.empty()) return nullptr;
            // A missing token is allowed: a private backend on the user's own network may not ask for one.
            config.bearerToken = secrets().read(std::string(kBYOBearerTokenAccount)).value_or("");
            return std::make_shared<BYOBackendShareClient>(std::move(config), httpTransport());
        }
        case ShareBackendMode::customSupabase: {
            SupabaseShareConfig config;
            config.baseURL = prefs.customSupabaseURL();
            config.anonKey = secrets().read(std::string(kCustomSupabaseAnonKeyAccount)).value_or("");
            config.bucket = prefs.customSupabaseBucket();
            config.metadataTable = prefs.customSupabaseMetadataTable();
            config.shareHost = prefs.customShareHost();
            config.shareURLPattern = prefs.customShareURLPattern();
            // An unconfigured project still gets a client: its upload says what is missing.
            return std::make_shared<SupabaseShareClient>(std::move(config), httpTransport());
        }
    }
    return nullptr;
}

ExportServices Services::shareExportServices(std::optional<ShareBackendMode> mode) {
    ExportServices services = exportServices();
    services.shareClient = makeShareClient(mode);
    if (const auto megabytes = preferences().shareMaxUploadMB()) {
        services.shareMaxUploadBytes = static_cast<std::int64_t>(*megabytes * 1'000'000.0);
    }
    return services;
}

}  // namespace orvane::app
