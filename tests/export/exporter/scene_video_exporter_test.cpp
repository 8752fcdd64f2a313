#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/log.h"
#include "export/scene_video_exporter.h"
#include "export/source_frame_decoder.h"
#include "indexed_movie.h"
#include "media/encode/vaapi_device.h"
#include "model/scene_render_snapshot.h"
#include "support/required_service.h"
#include "support/temp_dir.h"
#include "vision/drawn_face.h"
#include "vision/face_detector.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

// Keeps segments in a folder under their index; enough to see what the exporter asks and stores.
class FolderSegmentStore : public SegmentStore {
public:
    explicit FolderSegmentStore(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

    std::vector<SegmentLookup> lookups(const SceneRenderSnapshot&, const OutputProfile&,
                                       const std::vector<RenderSegment>& segments) override {
        if (failLookups) throw std::runtime_error("index unreadable");
        std::vector<SegmentLookup> result;
        for (const auto& segment : segments) {
            const fs::path file = folder_ / ("segment-" + std::to_string(segment.index) + ".mp4");
            result.push_back({"segment-" + std::to_string(segment.index), file, segment, fs::exists(file)});
        }
        return result;
    }

    void store(const fs::path& segmentFile, const SegmentLookup& lookup) override {
        fs::copy_file(segmentFile, lookup.outputPath, fs::copy_options::overwrite_existing);
        ++stores;
    }

    fs::path fileFor(int index) const { return folder_ / ("segment-" + std::to_string(index) + ".mp4"); }

    bool failLookups = false;
    std::atomic<int> stores{0};

private:
    fs::path folder_;
};

struct Report {
    double fraction;
    std::optional<std::string> status;
};

// A 3 s recording played with a 2x ramp over its second second: 2.5 s of output, 75 frames at
// 30 fps, two segments of 60 and 15 frames.
class SceneVideoExporterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        recordings = new TempDir;
        testing::writeIndexedMovie(*recordings / "screen.mp4", 320, 180, 30, 90);
    }
    static void TearDownTestSuite() {
        delete recordings;
        recordings = nullptr;
    }

    SceneVideoExporterTest() {
        // Temporary segment files land where the test can see them.
        const char* previous = std::getenv("TMPDIR");
        if (previous) savedTmpdir = previous;
        fs::create_directories(temporary());
        fs::create_directories(folder / "out");
        setenv("TMPDIR", temporary().c_str(), 1);

        fs::copy_file(*recordings / "screen.mp4", folder / "screen.mp4");
        SceneRenderSnapshot s;
        s.videoPath = folder / "screen.mp4";
        s.clipBaseDirectory = folder.path();
        s.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 3.0, 0}};
        s.edit.timeline.trimEnd = 3.0;
        s.edit.frame.background = BackgroundStyle::none;  // the recording fills the frame, so colours show
        s.edit.frame.videoSize = {320, 180};
        s.edit.cursor.showCursorRing = false;
        s.edit.timeline.speedRamps = {{.start = 1.0, .end = 2.0, .speed = 2.0}};
        snapshot = std::make_shared<SceneRenderSnapshot>(s);
    }

    ~SceneVideoExporterTest() override {
        if (savedTmpdir) {
            setenv("TMPDIR", savedTmpdir->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    fs::path temporary() const { return folder / "tmp"; }

    std::vector<fs::path> temporaryFiles() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(temporary())) files.push_back(entry.path());
        return files;
    }

    // No temporary files are left, and beside the outputs nothing but the ones a test made on purpose.
    void expectNothingLeftBut(std::vector<std::string> outputs) const {
        EXPECT_TRUE(temporaryFiles().empty());
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder / "out"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, outputs);
    }

    ExportProgress recorder() {
        return [this](double fraction, std::optional<std::string> status) {
            std::lock_guard lock(reportsMutex);
            reports.push_back({fraction, std::move(status)});
        };
    }

    std::vector<std::string> statuses() {
        std::vector<std::string> texts;
        for (const auto& report : reports) texts.push_back(report.status.value_or(""));
        return texts;
    }

    // The bar never shrinks, whatever the exporter reports between frames and assembling.
    void expectNeverBackwards() {
        for (std::size_t i = 1; i < reports.size(); ++i) {
            EXPECT_GE(reports[i].fraction, reports[i - 1].fraction)
                << reports[i - 1].status.value_or("") << " then " << reports[i].status.value_or("");
        }
    }

    static bool contains(const std::vector<std::string>& lines, const std::string& text) {
        for (const auto& line : lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    // Source frame shown by output frame k: 1:1 for the first second, every other frame through the
    // ramp, then 1:1 again half a second further on.
    static int expectedSourceFrame(int k) { return k < 30 ? k : (k < 45 ? 30 + 2 * (k - 30) : k + 15); }

    void expectPlayableExport(const fs::path& file) {
        const auto facts = testing::probeMovie(file);
        EXPECT_TRUE(facts.isH264);
        EXPECT_EQ(facts.profile, FF_PROFILE_H264_HIGH);
        EXPECT_EQ(facts.width, 320);
        EXPECT_EQ(facts.height, 180);
        EXPECT_DOUBLE_EQ(facts.frameRate, 30);
        EXPECT_EQ(facts.packets, 75);
        std::vector<std::int64_t> continuous(75);
        std::iota(continuous.begin(), continuous.end(), 0);
        EXPECT_EQ(facts.framePositions, continuous);

        SequentialSourceFrameDecoder decoder(file, 1.0 / 30, DecodeOptions{});
        for (int k = 0; k < 75; ++k) {
            const auto frame = decoder.frameAt(k / 30.0);
            ASSERT_TRUE(frame);
            ASSERT_EQ(testing::frameIndexOf(frame->image), expectedSourceFrame(k)) << "output frame " << k;
        }
    }

    static TempDir* recordings;
    TempDir folder;
    FolderSegmentStore store{folder / "store"};
    const fs::path output = folder / "out" / "video.mp4";
    std::optional<std::string> savedTmpdir;
    std::shared_ptr<SceneRenderSnapshot> snapshot;
    OutputProfile profile{320, 180, 30, 1'500'000, ExportQuality::standard};
    std::mutex reportsMutex;
    std::vector<Report> reports;
    std::vector<std::string> logLines;
    const log::ScopedSink sink{[this](log::Level, const std::string& line) { logLines.push_back(line); }};
};

TempDir* SceneVideoExporterTest::recordings = nullptr;

TEST_F(SceneVideoExporterTest, SegmentsAreRenderedStoredJoinedAndReused) {
    SceneVideoExporter exporter(&store, {.processors = 4});

    exporter.render(snapshot, profile, folder / "out" / "first.mp4", recorder());
    expectPlayableExport(folder / "out" / "first.mp4");
    EXPECT_EQ(store.stores, 2);
    EXPECT_FALSE(contains(statuses(), "Reusing"));
    ASSERT_FALSE(reports.empty());
    EXPECT_DOUBLE_EQ(reports.back().fraction, 0.98);
    EXPECT_EQ(reports.back().status, "Assembling rendered segments");
    EXPECT_TRUE(contains(statuses(), "finishing up"));
    expectNeverBackwards();
    EXPECT_TRUE(contains(logLines, "[Orvane.Export] MP4 video assembled from 2 segments"));
    EXPECT_TRUE(temporaryFiles().empty());

    // One segment changed: only it is rendered again.
    fs::remove(store.fileFor(1));
    reports.clear();
    exporter.render(snapshot, profile, folder / "out" / "second.mp4", recorder());
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().status, "Reusing 1/2 rendered segments");
    EXPECT_NEAR(reports.front().fraction, 60.0 / 75, 0.03);
    expectNeverBackwards();
    EXPECT_EQ(store.stores, 3);
    expectPlayableExport(folder / "out" / "second.mp4");

    // Everything cached: the recording is not even opened.
    fs::remove(folder / "screen.mp4");
    reports.clear();
    exporter.render(snapshot, profile, folder / "out" / "third.mp4", recorder());
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Reusing 2/2 rendered segments", "Assembling rendered segments"}));
    EXPECT_EQ(store.stores, 3);
    EXPECT_EQ(testing::probeMovie(folder / "out" / "third.mp4").packets, 75);
    expectNothingLeftBut({"first.mp4", "second.mp4", "third.mp4"});
}

TEST_F(SceneVideoExporterTest, CachedSegmentsThatCannotBeJoinedAreRenderedAgainAndReplaced) {
    // A cached segment from another encoder set-up (here: another size) beside a new one.
    testing::writeIndexedMovie(store.fileFor(1), 160, 90, 30, 15);
    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    EXPECT_TRUE(contains(logLines, "[Orvane.Export] 1 cached segments cannot be joined; rendering them again"));
    EXPECT_FALSE(contains(logLines, "rendering full video"));
    expectPlayableExport(output);
    expectNeverBackwards();  // the second pass continues the bar instead of restarting it
    EXPECT_EQ(store.stores, 2);
    EXPECT_EQ(testing::probeMovie(store.fileFor(1)).width, 320);  // the entry now joins

    // The next export of the same edit renders nothing.
    reports.clear();
    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Reusing 2/2 rendered segments", "Assembling rendered segments"}));
    EXPECT_EQ(store.stores, 2);

    // Damaged cache files, also when every segment was cached: each is rendered once and replaced.
    reports.clear();
    writeTextFile(store.fileFor(1), "truncated");
    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    expectPlayableExport(output);
    EXPECT_EQ(store.stores, 3);
    fs::remove(store.fileFor(0));
    writeTextFile(store.fileFor(1), "truncated");
    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    expectPlayableExport(output);
    EXPECT_EQ(store.stores, 5);
    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    EXPECT_EQ(store.stores, 5);
    expectNothingLeftBut({"video.mp4"});
}

// Every decoded frame of a movie, for comparing two renders of the same segment.
std::vector<RgbaImage> decodedFrames(const fs::path& file, int count, int fps) {
    SequentialSourceFrameDecoder decoder(file, 1.0 / fps, DecodeOptions{});
    std::vector<RgbaImage> frames;
    for (int k = 0; k < count; ++k) {
        const auto frame = decoder.frameAt(static_cast<double>(k) / fps);
        if (!frame) break;
        frames.push_back(frame->image);
    }
    return frames;
}

// The same pictures up to the encoder's own variation: its frame threads make two encodes of the
// same frames differ by a few levels here and there, far less than any change in what was drawn.
bool samePictures(const std::vector<RgbaImage>& a, const std::vector<RgbaImage>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t f = 0; f < a.size(); ++f) {
        if (a[f].width != b[f].width || a[f].height != b[f].height || a[f].pixels.size() != b[f].pixels.size())
            return false;
        double sum = 0;
        for (std::size_t i = 0; i < a[f].pixels.size(); ++i) {
            const int difference = std::abs(static_cast<int>(a[f].pixels[i]) - static_cast<int>(b[f].pixels[i]));
            if (difference > 24) return false;
            sum += difference;
        }
        if (sum / static_cast<double>(a[f].pixels.size()) > 1.5) return false;
    }
    return true;
}

// A movie of fine diagonal stripes that move every frame: how it is shrunk shows in every pixel.
void writeStripedMovie(const fs::path& file, int width, int height, int fps, int frames) {
    H264FileWriter writer(file, OutputProfile{width, height, fps, 4'000'000, ExportQuality::automatic},
                          H264Encoder::software);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int i = 0; i < frames; ++i) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = ((x + y + i) / 2) % 2 ? 220u : 40u;
                pixels[static_cast<std::size_t>(y) * width + x] = 0xff000000u | v << 16 | (255 - v) << 8 | v;
            }
        }
        writer.append(reinterpret_cast<const std::uint8_t*>(pixels.data()), width * 4, i);
    }
    writer.finish();
}

// A face camera whose face drifts to the right, so its framing is always catching up.
void writeDriftingFaceMovie(const fs::path& file, int fps, int frames) {
    constexpr int kWidth = 640, kHeight = 480;
    H264FileWriter writer(file, OutputProfile{kWidth, kHeight, fps, 2'000'000, ExportQuality::automatic},
                          H264Encoder::software);
    for (int i = 0; i < frames; ++i) {
        const auto face = testing::drawnFace(kWidth, kHeight, {200.0 + 3 * i, 220, 120});
        writer.append(cairo_image_surface_get_data(face.get()), cairo_image_surface_get_stride(face.get()), i);
    }
    writer.finish();
}

// 90 frames of a striped 640x360 recording shown at 320x180: segments of 60 and 30 frames.
std::shared_ptr<SceneRenderSnapshot> stripedEdit(const SceneRenderSnapshot& base, const fs::path& folder) {
    auto edit = std::make_shared<SceneRenderSnapshot>(base);
    edit->edit.timeline.speedRamps.clear();
    edit->edit.frame.videoSize = {640, 360};
    writeStripedMovie(folder / "striped.mp4", 640, 360, 30, 90);
    edit->edit.timeline.clips = {Clip{Uuid::random(), "striped.mp4", 0, 3.0, 0}};
    return edit;
}

TEST_F(SceneVideoExporterTest, ASegmentFramesFacesTheSameWhateverTheWorkerRenderedBeforeIt) {
    ORVANE_REQUIRE_SERVICE(OpenCvFaceDetector().available(), "the frontal-face cascade is not installed");
    auto edit = stripedEdit(*snapshot, folder.path());
    writeDriftingFaceMovie(folder / "face.mp4", 30, 90);
    VideoOverlayClip face;
    face.path = folder / "face.mp4";
    face.duration = 3;
    face.normalizedFrame = {0.5, 0.3, 0.45, 0.65};
    face.mediaKind = VideoOverlayClip::MediaKind::video;
    face.autoFrameFaceCam = true;
    edit->edit.overlays.videoOverlays = {face};

    // Large enough for the face camera to be found once shrunk into its bubble.
    const OutputProfile large{640, 360, 30, 3'000'000, ExportQuality::standard};

    // One worker renders both segments; then segment 1 alone, by a worker that saw nothing before it.
    SceneVideoExporter oneWorker(&store, {.processors = 1});
    oneWorker.render(edit, large, output, recorder());
    const auto afterSegmentZero = decodedFrames(store.fileFor(1), 30, 30);
    ASSERT_EQ(afterSegmentZero.size(), 30u);
    fs::remove(store.fileFor(1));
    oneWorker.render(edit, large, output, recorder());
    EXPECT_TRUE(samePictures(decodedFrames(store.fileFor(1), 30, 30), afterSegmentZero))
        << "the face framing carried over from segment 0";

    // Without framing the same segment looks different: the check above saw framed faces.
    auto unframed = std::make_shared<SceneRenderSnapshot>(*edit);
    unframed->edit.overlays.videoOverlays.front().autoFrameFaceCam = false;
    FolderSegmentStore other(folder / "other");
    SceneVideoExporter(&other, {.processors = 1}).render(unframed, large, output, recorder());
    EXPECT_FALSE(samePictures(decodedFrames(other.fileFor(1), 30, 30), afterSegmentZero));
}

TEST_F(SceneVideoExporterTest, ASegmentDecodesForItsOwnZoomsNotTheWholeEdits) {
    auto edit = stripedEdit(*snapshot, folder.path());
    SceneVideoExporter(&store, {.processors = 1}).render(edit, profile, output, recorder());
    const auto unzoomed = decodedFrames(store.fileFor(0), 60, 30);
    ASSERT_EQ(unzoomed.size(), 60u);

    // A strong zoom that only segment 1 shows: segment 0 keeps its cache key, so it must keep its
    // pictures too.
    auto zoomed = std::make_shared<SceneRenderSnapshot>(*edit);
    zoomed->edit.timeline.zoomRegions = {{.start = 2.7, .end = 2.9, .scale = 3, .focusX = 0.3, .focusY = 0.3}};
    FolderSegmentStore other(folder / "other");
    SceneVideoExporter(&other, {.processors = 1}).render(zoomed, profile, output, recorder());
    EXPECT_TRUE(samePictures(decodedFrames(other.fileFor(0), 60, 30), unzoomed))
        << "segment 0 was decoded for a zoom it never shows";
    EXPECT_FALSE(samePictures(decodedFrames(other.fileFor(1), 30, 30), decodedFrames(store.fileFor(1), 30, 30)));
}

TEST_F(SceneVideoExporterTest, AFailedHardwareAttemptIsRenderedAgainInSoftware) {
    if (vaapiRenderDevice()) GTEST_SKIP() << "this machine's GPU encodes; nothing fails";
    SceneVideoExporter(&store, {.processors = 1, .hardware = HardwareEncoding::always})
        .render(snapshot, profile, output, recorder());
    const auto failures = std::count(logLines.begin(), logLines.end(),
                                     "[Orvane.Export] hardware encode failed (no VAAPI render device); "
                                     "retrying on software encoder");
    EXPECT_EQ(failures, 1);  // later segments go straight to software
    expectPlayableExport(output);
    EXPECT_EQ(store.stores, 2);
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(SceneVideoExporterTest, AFailingStoreMeansOneAttemptStraightToTheOutput) {
    store.failLookups = true;
    writeTextFile(output, "an older export");

    SceneVideoExporter(&store).render(snapshot, profile, output, recorder());
    EXPECT_TRUE(contains(logLines, "[Orvane.Export] Segment cache unavailable; rendering full video"));
    EXPECT_FALSE(contains(logLines, "assembled"));
    EXPECT_EQ(store.stores, 0);
    expectPlayableExport(output);
    // Reported once per second of video and at the end; never a cache or join text.
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_DOUBLE_EQ(reports[0].fraction, 30.0 / 75);
    EXPECT_DOUBLE_EQ(reports[2].fraction, 1.0);
    EXPECT_FALSE(contains(statuses(), "Reusing"));
    EXPECT_FALSE(contains(statuses(), "Assembling"));
    expectNothingLeftBut({"video.mp4"});
}

TEST_F(SceneVideoExporterTest, CancellingLeavesNoOutputAndNoTemporaryFiles) {
    writeTextFile(output, "an older export");

    for (const bool withStore : {true, false}) {
        std::stop_source stop;
        // Cancel as soon as the first second of video is done.
        const ExportProgress cancelOnFirstReport = [&](double, std::optional<std::string>) { stop.request_stop(); };
        SceneVideoExporter exporter(withStore ? &store : nullptr);
        EXPECT_THROW(exporter.render(snapshot, profile, output, cancelOnFirstReport, stop.get_token()),
                     ExportCancelled);
        EXPECT_EQ(readTextFile(output), "an older export");
        expectNothingLeftBut({"video.mp4"});
        // No count of cached segments here: a segment that a worker finished while the cancel was on
        // its way is complete and may be kept for the next export, and how many there are is timing.

        // Cancelled before it starts: nothing is even looked up.
        store.failLookups = true;
        EXPECT_THROW(exporter.render(snapshot, profile, output, recorder(), stop.get_token()), ExportCancelled);
        EXPECT_EQ(readTextFile(output), "an older export");
    }
}

TEST_F(SceneVideoExporterTest, BadInputFailsClearlyAndKeepsTheOldFile) {
    writeTextFile(output, "an older export");
    SceneVideoExporter exporter(&store);

    for (const OutputProfile odd : {OutputProfile{321, 180, 30, 1'000'000}, OutputProfile{320, 180, 0, 1'000'000},
                                    OutputProfile{0, 0, 30, 1'000'000}}) {
        try {
            exporter.render(snapshot, odd, output, recorder());
            FAIL() << "profile " << odd.width << "x" << odd.height << " accepted";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.which(), ExportError::Case::writerSetup);
            EXPECT_STREQ(error.what(), "Could not configure the video writer.");
        }
    }

    fs::remove(folder / "screen.mp4");
    for (SegmentStore* maybeStore : {static_cast<SegmentStore*>(&store), static_cast<SegmentStore*>(nullptr)}) {
        try {
            SceneVideoExporter(maybeStore).render(snapshot, profile, output, recorder());
            FAIL() << "a missing recording rendered";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("screen.mp4"), std::string::npos) << error.what();
        }
        EXPECT_EQ(readTextFile(output), "an older export");
        expectNothingLeftBut({"video.mp4"});
    }
    EXPECT_EQ(store.stores, 0);
}

}  // namespace
}  // namespace orvane
