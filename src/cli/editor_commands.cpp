#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "app/voice_clip_enhancement.h"
#include "base/atomic_file.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "editor/auto_zoom_status.h"
#include "editor/editor_session.h"
#include "editor/editor_sidecar.h"
#include "editor/remote_edit_apply.h"
#include "editor/remote_edit_json.h"
#include "media/media_conversion_import.h"
#include "model/camera/camera_samples.h"
#include "model/decimal_text.h"

namespace orvane::cli {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

// Opens a recording the way the editor does, for one command.
struct OpenedEdit {
    std::unique_ptr<EditorSession> session;

    OpenedEdit(app::Services& services, const std::string& id, EditorSession::Access access) {
        auto& library = services.library();
        const auto& meta = library.find(id);
        session = std::make_unique<EditorSession>(library.folderOf(meta.id), meta,
                                                  editorSettings(services.preferences()), access);
        warnIfSavedEditUnreadable(*session);
    }
    EditorState& state() { return session->state(); }
};

const char* statusName(AutoZoomStatus::Kind kind) {
    switch (kind) {
        case AutoZoomStatus::Kind::ready: return "ready";
        case AutoZoomStatus::Kind::unknown: return "unknown";
        case AutoZoomStatus::Kind::computing: return "computing";
        case AutoZoomStatus::Kind::pendingDuration: return "pendingDuration";
        case AutoZoomStatus::Kind::noClicks: return "noClicks";
        case AutoZoomStatus::Kind::noCursorTrack: return "noCursorTrack";
        case AutoZoomStatus::Kind::clickCaptureDisabled: return "clickCaptureDisabled";
    }
    return "unknown";
}

Json zoomJson(const ZoomRegion& zoom) {
    return {{"id", zoom.id.string()},   {"start", zoom.start},   {"end", zoom.end},
            {"scale", zoom.scale},      {"focusX", zoom.focusX}, {"focusY", zoom.focusY},
            {"followCursor", zoom.followCursor}, {"easeSpeed", zoom.easeSpeed}};
}

Json editJson(const EditorState& state) { return Json::parse(encodeProjectSidecar(makeProjectSidecar(state))); }

// A timeline item named by 1-based position (digits only) or by a unique prefix of its id. A
// position is never read as an id: ids are made afresh when a recording opens, so a position past
// the end would otherwise pick whichever item's id happened to start with those digits.
template <typename Item>
const Item& pick(const std::vector<Item>& items, const std::string& which, const char* what) {
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (!which.empty() && std::all_of(which.begin(), which.end(), isDigit)) {
        std::size_t position = 0;
        const auto [end, error] = std::from_chars(which.data(), which.data() + which.size(), position);
        if (error != std::errc() || position < 1 || position > items.size()) {
            throw std::runtime_error(std::string("There is no ") + what + " at position " + which + " (there are " +
                                     std::to_string(items.size()) + ")");
        }
        return items[position - 1];
    }
    const Item* found = nullptr;
    for (const auto& item : items) {
        if (!which.empty() && toLowerAscii(item.id.string()).rfind(toLowerAscii(which), 0) == 0) {
            if (found) throw std::runtime_error(std::string("\"") + which + "\" matches more than one " + what);
            found = &item;
        }
    }
    if (!found) throw std::runtime_error(std::string("No ") + what + " matches \"" + which + "\"");
    return *found;
}

bool parseOnOff(const std::string& text) {
    if (auto value = parseBooleanText(text == "on" ? "true" : text == "off" ? "false" : text)) return *value;
    throw CLI::ValidationError("expected on or off, got \"" + text + "\"");
}

template <typename Enum>
Enum parseRaw(const std::string& text, std::optional<Enum> (*fromRaw)(std::string_view), const char* what) {
    if (auto value = fromRaw(text)) return *value;
    throw CLI::ValidationError(std::string("unknown ") + what + " \"" + text + "\"");
}

void printAutoZoom(const EditorState& state, bool json) {
    const auto& v = state.values();
    const auto banner = autoZoomBanner(v.autoZoomStatus);
    if (json) {
        auto zooms = Json::array();
        for (const auto& zoom : v.edit.timeline.zoomRegions) zooms.push_back(zoomJson(zoom));
        printJson(
            {{"status", statusName(v.autoZoomStatus.kind)},
             {"banner", banner ? Json{{"symbolName", banner->symbolName}, {"text", banner->text}} : Json(nullptr)},
             {"automaticZoomsSuppressed", v.edit.timeline.automaticZoomsSuppressed},
             {"zoomRegions", zooms}});
        return;
    }
    if (banner) std::printf("%s\n\n", banner->text.c_str());
    if (v.edit.timeline.zoomRegions.empty()) {
        std::printf("No zoom regions\n");
        return;
    }
    std::vector<std::vector<std::string>> rows{{"#", "START", "END", "SCALE", "FOCUS", "FOLLOW"}};
    char buffer[64];
    for (std::size_t i = 0; i < v.edit.timeline.zoomRegions.size(); ++i) {
        const auto& z = v.edit.timeline.zoomRegions[i];
        std::vector<std::string> row{std::to_string(i + 1)};
        for (double value : {z.start, z.end, z.scale}) {
            std::snprintf(buffer, sizeof buffer, "%.3f", value);
            row.push_back(buffer);
        }
        std::snprintf(buffer, sizeof buffer, "%.3f, %.3f", z.focusX, z.focusY);
        row.push_back(buffer);
        row.push_back(z.followCursor ? "yes" : "no");
        rows.push_back(row);
    }
    printTable(rows);
}

}  // namespace

Json editOfRecording(app::Services& services, const std::string& id) {
    OpenedEdit edit(services, id, EditorSession::Access::view);
    return editJson(edit.state());
}

void registerEditorCommands(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id;
        bool json = false;
        bool rerun = false;
        bool samples = false;
        double at = 0;
        std::string apply;
        // operation arguments
        std::optional<double> scale;
        double length = 5.0;
        double speed = 2.0;
        double start = 0;
        double end = 0;
        double number = 0;
        std::string text;
        std::string style;
        std::string title;
        std::string preset = "natural";
        float strength = 1.0f;
        bool off = false;
    };
    auto o = std::make_shared<Options>();

    auto* autozoom = app.add_subcommand("autozoom", "Show (or re-run) the automatic zooms of a recording");
    autozoom->add_option("ID", o->id, "Recording id or unique prefix")->required();
    autozoom->add_flag("--rerun", o->rerun, "Generate the zooms again from cursor.json");
    autozoom->add_flag("--json", o->json, "Print JSON");
    autozoom->callback([&services, o] {
        OpenedEdit edit(services, o->id, o->rerun ? EditorSession::Access::edit : EditorSession::Access::view);
        if (o->rerun && !edit.session->rerunAutoZooms()) {
            std::fprintf(stderr, "The cursor track holds no clicks; the zooms were left as they were.\n");
        }
        // Looking never writes: only a re-run, which the user asked for, saves the edit.
        if (o->rerun) edit.session->saveOrThrow();
        printAutoZoom(edit.state(), o->json);
    });

    auto* camera = app.add_subcommand("camera", "The zoom camera at a composition time, or its 60 Hz samples");
    camera->add_option("ID", o->id, "Recording id or unique prefix")->required();
    auto* at = camera->add_option("--at", o->at, "Composition time in seconds");
    auto* samples = camera->add_flag("--samples", o->samples, "Print the 60 Hz camera and cursor samples");
    at->excludes(samples);
    camera->add_flag("--json", o->json, "Print JSON");
    camera->callback([&services, o] {
        OpenedEdit edit(services, o->id, EditorSession::Access::view);
        const auto inputs = edit.session->cameraInputs();
        const auto& v = edit.state().values();
        if (o->samples) {
            const auto cameraRows = cameraSamples(inputs, v.edit.timeline.trimStart, v.edit.timeline.trimEnd);
            const auto cursorRows = cursorSamples(inputs, v.edit.timeline.trimStart, v.edit.timeline.trimEnd);
            if (o->json) {
                auto cams = Json::array(), cursors = Json::array();
                for (const auto& s : cameraRows)
                    cams.push_back({{"t", s.t}, {"scale", s.scale}, {"focusX", s.focusX}, {"focusY", s.focusY}});
                for (const auto& s : cursorRows) cursors.push_back({{"t", s.t}, {"x", s.x}, {"y", s.y}});
                printJson({{"camera", cams}, {"cursor", cursors}});
            } else {
                std::printf("%-10s %-8s %-8s %-8s %-8s %-8s\n", "T", "SCALE", "FOCUSX", "FOCUSY", "CURSORX", "CURSORY");
                for (std::size_t i = 0; i < cameraRows.size(); ++i) {
                    const auto& c = cameraRows[i];
                    const bool hasCursor = i < cursorRows.size();
                    std::printf("%-10.4f %-8.4f %-8.4f %-8.4f %-8s %-8s\n", c.t, c.scale, c.focusX, c.focusY,
                                hasCursor ? std::to_string(cursorRows[i].x).substr(0, 6).c_str() : "-",
                                hasCursor ? std::to_string(cursorRows[i].y).substr(0, 6).c_str() : "-");
                }
            }
            return;
        }
        const auto state = cameraState(inputs, o->at);
        if (o->json) {
            printJson({{"t", o->at}, {"scale", state.scale}, {"focusX", state.focusX}, {"focusY", state.focusY}});
        } else {
            std::printf("t=%.4f scale=%.6f focusX=%.6f focusY=%.6f\n", o->at, state.scale, state.focusX, state.focusY);
        }
    });

    auto* edit = app.add_subcommand("edit", "Change the edit of a recording and save it");
    edit->add_option("ID", o->id, "Recording id or unique prefix")->required();
    edit->add_option("--apply", o->apply, "Apply a JSON object with the remote-edit keys");
    edit->add_flag("--json", o->json, "Print the resulting edit as JSON");

    // Each operation runs on an opened edit; answering false means the editor refused the change.
    using Operation = std::function<bool(OpenedEdit&)>;
    auto finish = [&services, o](const std::string& what, const Operation& operation) {
        // Holds the edit lock from reading the saved edit to writing the changed one.
        OpenedEdit opened(services, o->id, EditorSession::Access::edit);
        if (!operation(opened)) throw std::runtime_error("Nothing changed: " + what + " is not possible here");
        opened.session->saveOrThrow();
        if (o->json) {
            printJson(editJson(opened.state()));
        } else {
            std::printf("Saved: %s\n", what.c_str());
        }
    };
    auto operation = [edit, finish](const char* name, const char* help, std::function<void(CLI::App&)> options,
                                    std::function<std::string()> describe, Operation run) {
        auto* sub = edit->add_subcommand(name, help);
        sub->fallthrough();  // `--json` may follow the operation's own arguments
        options(*sub);
        sub->callback([finish, describe, run] { finish(describe(), run); });
    };

    edit->callback([&services, o, edit, finish] {
        if (!edit->get_subcommands().empty()) return;
        if (o->apply.empty()) throw CLI::ValidationError("give an operation or --apply FILE; see orvane edit --help");
        const auto text = readFileContents(o->apply);
        if (!text) throw std::runtime_error("Couldn't read " + o->apply);
        // A local file edits the recording named on the command line; the backend's record names its video.
        std::string error;
        const auto edits = videoEditsOutFromText(*text, o->id, &error);
        if (!edits) throw std::runtime_error(o->apply + " " + error);
        finish("applied " + o->apply, [&](OpenedEdit& opened) {
            applyRemoteEdits(opened.state(), *edits);
            return true;
        });
    });

    operation(
        "add-zoom", "Add a zoom centred at a time",
        [o](CLI::App& a) {
            a.add_option("--at", o->at, "Composition time in seconds")->required();
            a.add_option("--scale", o->scale, "Magnification (default 1.2)")->check(CLI::Range(1.0, kMaximumZoomScale));
        },
        [o] { return "zoom added at " + shortestDecimal(o->at) + " s"; },
        [o](OpenedEdit& e) {
            e.state().seek(o->at);
            if (!e.state().addZoomAtPlayhead()) return false;
            if (o->scale) {
                const auto id = *e.state().values().selectedZoomID;
                e.state().updateZoom(id, [&](ZoomRegion& zoom) { zoom.scale = *o->scale; });
            }
            return true;
        });
    operation(
        "remove-zoom", "Remove a zoom",
        [o](CLI::App& a) { a.add_option("ZOOM", o->text, "Position (1-based) or id prefix")->required(); },
        [o] { return "zoom " + o->text + " removed"; },
        [o](OpenedEdit& e) {
            e.state().select(EditorSelectionKind::zoom,
                             pick(e.state().values().edit.timeline.zoomRegions, o->text, "zoom").id);
            return e.state().removeSelectedZoom();
        });
    operation(
        "trim", "Set the exported range",
        [o](CLI::App& a) {
            a.add_option("--start", o->start, "Start, seconds")->required();
            a.add_option("--end", o->end, "End, seconds")->required();
        },
        [o] { return "trimmed to " + shortestDecimal(o->start) + "-" + shortestDecimal(o->end) + " s"; },
        [o](OpenedEdit& e) {
            const double duration = e.state().values().edit.timeline.duration;
            const double start = std::clamp(o->start, 0.0, duration);
            const double end = std::clamp(o->end, 0.0, duration);
            if (!(end > start)) return false;
            e.state().pushUndo();
            e.state().modify([&](EditorValues& v) {
                v.edit.timeline.trimStart = start;
                v.edit.timeline.trimEnd = end;
            });
            return true;
        });
    operation("split", "Split at a time (the selected or the screen clip under it)", [o](CLI::App& a) {
        a.add_option("--at", o->at, "Composition time in seconds")->required();
    }, [o] { return "split at " + shortestDecimal(o->at) + " s"; },
       [o](OpenedEdit& e) { return e.state().splitAtPlayhead(o->at); });
    operation(
        "delete-clip", "Delete a screen clip and ripple the timeline",
        [o](CLI::App& a) { a.add_option("CLIP", o->text, "Position (1-based) or id prefix")->required(); },
        [o] { return "clip " + o->text + " deleted"; },
        [o](OpenedEdit& e) {
            return e.state().deleteClip(pick(e.state().values().edit.timeline.clips, o->text, "clip").id);
        });
    operation("remove-range", "Remove a time range and ripple everything after it", [o](CLI::App& a) {
        a.add_option("START", o->start, "Start, seconds")->required();
        a.add_option("END", o->end, "End, seconds")->required();
    }, [o] { return "removed " + shortestDecimal(o->start) + "-" + shortestDecimal(o->end) + " s"; },
       [o](OpenedEdit& e) {
        if (!(o->end > o->start)) return false;
        e.state().pushUndo();
        e.state().removeTimeRange(o->start, o->end);
        return true;
    });
    operation("add-ramp", "Add a speed ramp starting at a time", [o](CLI::App& a) {
        a.add_option("--at", o->at, "Composition time in seconds")->required();
        a.add_option("--length", o->length, "Length in seconds (default 5)");
        a.add_option("--speed", o->speed, "Speed, 0.1 to 8 (default 2)");
    }, [o] { return "speed ramp added at " + shortestDecimal(o->at) + " s"; }, [o](OpenedEdit& e) {
        e.state().seek(o->at);
        return e.state().addSpeedRamp(o->length, o->speed);
    });
    operation("add-mute", "Silence a time range", [o](CLI::App& a) {
        a.add_option("START", o->start, "Start, seconds")->required();
        a.add_option("END", o->end, "End, seconds")->required();
    }, [o] { return "muted " + shortestDecimal(o->start) + "-" + shortestDecimal(o->end) + " s"; },
       [o](OpenedEdit& e) { return e.state().addMute(o->start, o->end); });
    operation(
        "remove-mute", "Remove a mute",
        [o](CLI::App& a) { a.add_option("MUTE", o->text, "Position (1-based) or id prefix")->required(); },
        [o] { return "mute " + o->text + " removed"; },
        [o](OpenedEdit& e) {
            e.state().select(EditorSelectionKind::mute,
                             pick(e.state().values().edit.audio.muteRegions, o->text, "mute").id);
            return e.state().removeSelectedMute();
        });
    operation("import", "Import a video (appended), audio (a clip) or picture (an overlay)", [o](CLI::App& a) {
        a.add_option("FILE", o->text, "Media file")->required();
    }, [o] { return "imported " + o->text; }, [o](OpenedEdit& e) {
        const auto imported = importMedia(o->text, e.session->folder().directory);
        const auto kind = imported.kind == MediaFileKind::video   ? ImportedMediaKind::video
                          : imported.kind == MediaFileKind::audio ? ImportedMediaKind::audio
                                                                  : ImportedMediaKind::image;
        return e.state().insertImportedMedia(kind, imported.file, imported.duration.value_or(0));
    });
    operation("background", "Set the background style", [o](CLI::App& a) {
        a.add_option("STYLE", o->style, "Background style name")->required();
    }, [o] { return "background " + o->style; }, [o](OpenedEdit& e) {
        e.state().setBackground(parseRaw(o->style, &backgroundStyleFromRaw, "background style"));
        return true;
    });
    operation("inset", "Set the margin around the recording (fraction of the canvas)", [o](CLI::App& a) {
        a.add_option("VALUE", o->number, "Inset, 0 to 0.5")->required()->check(CLI::Range(0.0, 0.5));
    }, [o] { return "inset " + shortestDecimal(o->number); }, [o](OpenedEdit& e) {
        e.state().setInset(o->number);
        return true;
    });
    operation("corner-radius", "Set the corner radius of the recording window", [o](CLI::App& a) {
        a.add_option("VALUE", o->number, "Radius in points")->required()->check(CLI::Range(0.0, 200.0));
    }, [o] { return "corner radius " + shortestDecimal(o->number); }, [o](OpenedEdit& e) {
        e.state().setCornerRadius(o->number);
        return true;
    });
    operation("cursor-style", "Set the cursor style", [o](CLI::App& a) {
        a.add_option("STYLE", o->style, "pointer, ring, largePointer, touch or icon")->required();
    }, [o] { return "cursor style " + o->style; }, [o](OpenedEdit& e) {
        e.state().setCursorVisualStyle(parseRaw(o->style, &cursorVisualStyleFromRaw, "cursor style"));
        return true;
    });
    operation("click-animation", "Set the click animation", [o](CLI::App& a) {
        a.add_option("STYLE", o->style, "ripple, pulse, brush, bounce or none")->required();
    }, [o] { return "click animation " + o->style; }, [o](OpenedEdit& e) {
        e.state().setCursorClickAnimationStyle(
            parseRaw(o->style, &cursorClickAnimationStyleFromRaw, "click animation"));
        return true;
    });
    operation("chrome", "Show or hide the window title bar", [o](CLI::App& a) {
        a.add_option("STATE", o->text, "on or off")->required();
        a.add_option("--style", o->style, "auto, light, dark or translucent");
        a.add_option("--title", o->title, "Title bar text");
    }, [o] { return "window chrome " + o->text; }, [o](OpenedEdit& e) {
        const bool show = parseOnOff(o->text);
        e.state().setShowWindowChrome(show);
        if (!o->style.empty()) e.state().setChromeStyle(parseRaw(o->style, &windowChromeStyleFromRaw, "chrome style"));
        if (!o->title.empty()) e.state().setWindowTitle(o->title);
        return true;
    });
    operation("captions", "Show or hide captions", [o](CLI::App& a) {
        a.add_option("STATE", o->text, "on or off")->required();
    }, [o] { return "captions " + o->text; }, [o](OpenedEdit& e) {
        e.state().setShowCaptions(parseOnOff(o->text));
        return true;
    });
    operation("enhance-voice", "Enhance the voice of audio clips, or undo it with --off", [o](CLI::App& a) {
        a.add_option("CLIP", o->text, "Audio clip position (1-based) or id prefix; all clips when left out");
        a.add_option("--preset", o->preset, "natural, broadcast or punchy (default natural)");
        a.add_option("--strength", o->strength, "Share of the processed sound, 0 to 1 (default 1)")
            ->check(CLI::Range(0.0, 1.0));
        a.add_flag("--off", o->off, "Put the original audio back");
    }, [o] {
        const std::string which = o->text.empty() ? "voice clips" : "audio clip " + o->text;
        return o->off ? "original audio restored for " + which : which + " enhanced (" + o->preset + ")";
    }, [o](OpenedEdit& e) {
        AudioEnhancementSettings settings;
        settings.preset = parseRaw(o->preset, &audioEnhancerPresetFromRaw, "preset");
        settings.strength = o->strength;
        const auto& clips = e.state().values().edit.audio.voiceClips;
        if (clips.empty()) throw std::runtime_error("The recording has no audio clips");
        std::vector<Uuid> chosen;
        if (o->text.empty()) {
            for (const auto& clip : clips) chosen.push_back(clip.id);
        } else {
            chosen.push_back(pick(clips, o->text, "audio clip").id);
        }
        return enhanceVoiceClips(*e.session, chosen, settings, o->off);
    });
}

}  // namespace orvane::cli
