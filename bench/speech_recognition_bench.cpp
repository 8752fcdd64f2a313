// Recognition speed of the local recogniser: a minute of speech by flite's "slt" voice, prepared as
// the captioner prepares audio (16 kHz mono AAC), recognised by PocketSphinx with the installed
// US-English model. The process is held to one core, so the figure is what one core does whatever
// the machine has. Counters: rtf_wall and rtf_cpu, seconds of work per second of speech.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <flite/flite.h>

#include "media/encode/atomic_aac_file_writer.h"
#include "speech/auto_captioner.h"
#include "speech/pocketsphinx_recognizer.h"

extern "C" cst_voice* register_cmu_us_slt(const char* voxdir);

namespace {

namespace fs = std::filesystem;

constexpr double kSpeechSeconds = 60;

// Narration of the kind captions are made for; repeated until the minute is full.
const std::vector<std::string> kSentences{
    "Today we will look at the new settings page.",       "First open the menu at the top of the window.",
    "Then choose a folder where your files are saved.",   "You can change the name of a recording at any time.",
    "The export button sits in the corner on the right.", "Pick the size you need and wait for the progress bar.",
    "If something goes wrong the program tells you why.", "The changes are kept when you close the program.",
    "Thank you for watching this short video.",
};

struct WaveDeleter {
    void operator()(cst_wave* wave) const { delete_wave(wave); }
};

// Written once per run of the benchmark program, in the temporary folder; removed at exit.
struct SpeechFile {
    fs::path path = fs::temp_directory_path() / ("orvane-bench-speech-" + std::to_string(getpid()) + ".m4a");
    SpeechFile() = default;
    SpeechFile(const SpeechFile&) = delete;
    SpeechFile& operator=(const SpeechFile&) = delete;
    ~SpeechFile() {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
};

fs::path speechFile() {
    static const SpeechFile file;
    static const bool written = [] {
        const auto& path = file.path;
        flite_init();
        cst_voice* voice = register_cmu_us_slt(nullptr);
        orvane::AtomicAacFileWriter writer(path, orvane::AutoCaptioner::kEditAudioSampleRate, 1,
                                           orvane::AutoCaptioner::kEditAudioBitRate);
        const auto rate = orvane::AutoCaptioner::kEditAudioSampleRate;
        const auto total = static_cast<std::int64_t>(kSpeechSeconds * rate);
        std::vector<float> samples;
        for (std::size_t i = 0; writer.framesWritten() < total; ++i) {
            std::unique_ptr<cst_wave, WaveDeleter> wave(
                flite_text_to_wave(kSentences[i % kSentences.size()].c_str(), voice));
            if (!wave || wave->sample_rate != rate) throw std::runtime_error("flite made no 16 kHz speech");
            const auto frames = std::min<std::int64_t>(wave->num_samples, total - writer.framesWritten());
            samples.assign(static_cast<std::size_t>(frames), 0);
            for (std::size_t s = 0; s < samples.size(); ++s) samples[s] = wave->samples[s] / 32768.0f;
            writer.push(samples.data(), samples.size());
            const auto pause = std::min<std::int64_t>(rate / 2, total - writer.framesWritten());
            writer.pushSilence(static_cast<std::size_t>(pause));
        }
        writer.finish();
        return true;
    }();
    return written ? file.path : fs::path();
}

void holdToOneCore() {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(sched_getcpu(), &set);
    sched_setaffinity(0, sizeof set, &set);
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `loadModel`: a new recogniser every round, as each captioning run makes one, so the model's
// loading is counted; otherwise one recogniser, loaded before timing starts.
void recogniseMinute(benchmark::State& state, bool loadModel) {
    holdToOneCore();
    const auto audio = speechFile();
    orvane::PocketSphinxService service;
    auto recognizer = service.recognizer("en_US.UTF-8");
    if (!recognizer) {
        state.SkipWithError("the US-English PocketSphinx model is not installed");
        return;
    }
    if (!loadModel) recognizer->recognize(audio, false, {}, {});

    double wall = 0;
    double cpu = 0;
    std::size_t words = 0;
    for (auto _ : state) {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        if (loadModel) recognizer = service.recognizer("en_US.UTF-8");
        words = recognizer->recognize(audio, false, {}, {}).size();
        cpu += processCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
    if (words < 60) state.SkipWithError("the recogniser heard almost nothing");
    const auto rounds = static_cast<double>(state.iterations());
    state.counters["rtf_wall"] = wall / rounds / kSpeechSeconds;
    state.counters["rtf_cpu"] = cpu / rounds / kSpeechSeconds;
    state.counters["words"] = static_cast<double>(words);
}

void BM_RecogniseMinuteOfSpeech(benchmark::State& state) { recogniseMinute(state, false); }
BENCHMARK(BM_RecogniseMinuteOfSpeech)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void BM_RecogniseMinuteOfSpeechWithModelLoad(benchmark::State& state) { recogniseMinute(state, true); }
BENCHMARK(BM_RecogniseMinuteOfSpeechWithModelLoad)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace
