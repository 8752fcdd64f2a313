#include "app/services.h"

#include "app/configuration.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "export/export_wiring.h"
#include "platform/bundle_config.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/preferences.h"
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
#include "speech/pocketsphinx_recognizer.h"

namespace orvane::app {

namespace {


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
    if (!screenCapture_) screenCapture_ = std::make_unique<X11ScreenCapture>();
    return *screenCapture_;
}

PointerSource& Services::pointer() {
    if (!pointer_) pointer_ = std::make_unique<X11PointerSource>();
    return *pointer_;
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

ScreenRecorderServices Services::recorderServices(const RecordingOptions& options) {
    if (!freeSpace_) freeSpace_ = std::make_unique<VolumeFreeSpace>(library().location().recordingsRoot);
    if (!cursorQueue_) cursorQueue_ = std::make_unique<SerialQueue>("orvane.cursor");
    ScreenRecorderServices services(mainLoop_, toasts_, screenCapture(), *freeSpace_);
    services.pointer = &pointer();
    services.cursorQueue = cursorQueue_.get();
    // Whether transparent capture works is measured once per frame rate and remembered in the cache.
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
        if (!cameras_) cameras_ = makeV4l2CameraSystem();
        if (auto device = resolveCamera(*cameras_, preferences().defaultCameraID())) {
            // Without a separate microphone track the face-camera file carries the voice.
            const bool withVoice = !options.includeMicrophone && sound;
            std::optional<std::string> microphone;
            if (sound) microphone = resolveMicrophone(*sound, preferences().defaultMicrophoneID());
            services.faceCamera = makeFaceCameraTrackStarter(*cameras_, sound, *device, withVoice, microphone);
            if (!cameraQueue_) cameraQueue_ = std::make_unique<SerialQueue>("orvane.camera");
            services.cameraQueue = cameraQueue_.get();
        }
    }
    return services;
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

SpeechRecognitionService& Services::speechRecognition() {
    if (!speech_) speech_ = std::make_unique<PocketSphinxService>();
    return *speech_;
}

CaptionServices Services::captionServices() { return {&speechRecognition(), FFmpegTool::locator()}; }

}  // namespace orvane::app
