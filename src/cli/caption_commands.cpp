#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/preference_adapters.h"
#include "app/services.h"
#include "base/event_loop.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "editor/editor_session.h"
#include "platform/linux/stop_signals.h"
#include "speech/auto_captioner.h"
#include "speech/caption_task.h"
#include "speech/filler_words.h"
#include "speech/openai_transcriber.h"

namespace orvane::cli {

namespace {

// "Recognising speech  42%" redrawn in place on a terminal; on a pipe, a line per tenth.
class CaptionProgress {
public:
    CaptionProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

    void show(double fraction) {
        const int percent = static_cast<int>(fraction * 100);
        if (percent == lastPercent_ || (!terminal_ && percent / 10 == lastPercent_ / 10)) return;
        lastPercent_ = percent;
        std::fprintf(stderr, terminal_ ? "\r\033[KRecognising speech %3d%%" : "Recognising speech %3d%%\n", percent);
        std::fflush(stderr);
    }
    void end() {
        if (terminal_ && lastPercent_ >= 0) std::fprintf(stderr, "\n");
        lastPercent_ = -100;
    }

private:
    bool terminal_;
    int lastPercent_ = -100;
};

std::string clock(double seconds) {
    char buffer[32];
    const int minutes = static_cast<int>(seconds / 60);
    std::snprintf(buffer, sizeof buffer, "%d:%05.2f", minutes, seconds - minutes * 60);
    return buffer;
}

void printSegments(const std::vector<CaptionSegment>& segments, bool json) {
    if (json) {
        printJson(nlohmann::json::parse(encodeCaptionSegments(segments)));
        return;
    }
    if (segments.empty()) {
        std::printf("No captions found\n");
        return;
    }
    std::vector<std::vector<std::string>> rows{{"#", "START", "END", "TEXT"}};
    for (std::size_t i = 0; i < segments.size(); ++i) {
        rows.push_back({std::to_string(i + 1), clock(segments[i].start), clock(segments[i].end), segments[i].text});
    }
    printTable(rows);
}

// Recognition runs on its own thread as the editor runs it; the main loop waits for it and turns
// Ctrl-C into a cancel, which stops the recogniser between blocks of audio.
std::vector<CaptionSegment> recognise(app::Services& services, EditorState& state, const std::string& locale,
                                      std::optional<RecognizerChoice> recognizer) {
    CaptionProgress progress;
    auto task = std::make_shared<CaptionTask>([&progress](double fraction) { progress.show(fraction); });
    auto recognize = makeCaptionRecognizer(state, services.captionServices(recognizer), task, locale);
    auto& loop = services.mainLoop();
    std::optional<std::vector<CaptionSegment>> segments;
    std::exception_ptr failure;
    {
        StopSignals interrupts(loop, [&] {
            if (task->cancelled()) return;
            progress.end();
            std::fprintf(stderr, "Cancelling caption generation...\n");
            task->cancel();
        });
        SerialQueue background("orvane.captions");
        background.post([&] {
            try {
                segments = recognize();
            } catch (...) {
                failure = std::current_exception();
            }
            loop.post([&loop] { loop.stop(); });
        });
        loop.run();
    }  // the queue's thread is joined here, so nothing reports after this point
    progress.end();
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const RecognitionCancelled& cancelled) {
            throw CommandFailed(kFailure, cancelled.what());
        } catch (const std::exception& e) {
            throw CommandFailed(kFailure, std::string("Couldn't generate captions: ") + e.what());
        }
    }
    return std::move(*segments);
}

}  // namespace

void registerCaptionCommands(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id;
        std::string locale = currentLocaleName();
        bool json = false;
        bool removeFillers = false;
        std::string recognizer;
    };
    auto o = std::make_shared<Options>();
    auto* captions = app.add_subcommand("captions", "Generate captions from a recording's speech");
    captions->add_option("ID", o->id, "Recording id or unique prefix")->required();
    captions->add_option("--locale", o->locale, "Language of the speech (default: the user's locale)");
    captions->add_flag("--remove-fillers", o->removeFillers,
                       "Mute the filler words (um, uh...) of the captions already made instead");
    captions
        ->add_option("--recognizer", o->recognizer,
                     "local (this computer) or openai (your key); default: the orvaneSpeechRecognizer preference")
        ->check(CLI::IsMember({"local", "openai"}));
    captions->add_flag("--json", o->json, "Print JSON");
    captions->callback([&services, o] {
        auto& library = services.library();
        const auto& meta = library.find(o->id);
        EditorSession session(library.folderOf(meta.id), meta, editorSettings(services.preferences()),
                              EditorSession::Access::edit);
        warnIfSavedEditUnreadable(session);
        auto& state = session.state();

        if (o->removeFillers) {
            const auto count = muteFillerWords(state);
            if (count > 0 && !session.save()) {
                throw CommandFailed(kFailure, "Couldn't save the edit to " + session.folder().sidecarFile().string());
            }
            const auto notice = fillerWordNotice(count);
            if (o->json) {
                printJson({{"count", count}, {"title", notice.title}, {"detail", notice.detail}});
            } else {
                std::printf("%s\n%s\n", notice.title.c_str(), notice.detail.c_str());
            }
            return;
        }

        std::optional<RecognizerChoice> recognizer;
        if (!o->recognizer.empty()) recognizer = recognizerChoiceFromRaw(o->recognizer);
        auto segments = recognise(services, state, o->locale, recognizer);
        // captions.json is written by the run; the edit remembers whether captions are shown.
        const bool any = !segments.empty();
        state.modify([&](EditorValues& v) {
            v.edit.captions.captions = segments;
            v.edit.captions.showCaptions = any;
        });
        if (!session.save()) {
            throw CommandFailed(kFailure, "Couldn't save the edit to " + session.folder().sidecarFile().string());
        }
        printSegments(segments, o->json);
    });
}

}  // namespace orvane::cli
