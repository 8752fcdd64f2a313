#include "export/source_frame_decoder.h"

#include <algorithm>

namespace orvane {

namespace fs = std::filesystem;

VideoFileInfo readVideoFileInfo(const fs::path& file) {
    FrameDecoder reader(file, DecodeOptions{});
    return {reader.displaySize(), reader.duration()};
}

double randomAccessTime(double t, double assetDuration, double frameDuration) {
    if (assetDuration <= 0) return std::max(t, 0.0);
    return std::max(std::min(t, std::max(assetDuration - std::max(frameDuration, 0.001), 0.0)), 0.0);
}

// --- Sequential -----------------------------------------------------------------------------------

struct SequentialSourceFrameDecoder::State {
    fs::path file;
    double frameDuration;
    DecodeOptions options;
    std::unique_ptr<FrameDecoder> reader;
    std::optional<PendingFrame> current;
    std::optional<PendingFrame> next;
    bool didPrime = false;
    bool isFinished = false;
    std::optional<double> answeredTime;

    std::optional<PendingFrame> read() {
        if (isFinished) return std::nullopt;
        auto frame = reader->read();
        if (!frame) isFinished = true;
        return frame;
    }

    void prime(double t) {
        didPrime = true;
        reader = std::make_unique<FrameDecoder>(file, options);
        // Start at the last key frame at or before the first time asked for: the frame shown at t
        // is the last one no later than half a frame after t, so nothing before that key frame is
        // needed, and a segment that starts on a key frame decodes no earlier group of pictures.
        // The tolerance keeps a time computed a hair short of a key frame on it. A segment in the
        // middle of a long recording must not decode everything before it.
        const double target = t + kFrameTimeTolerance;
        const bool sought = t > 0 && reader->seek(target);
        current = read();
        next = read();
        // A seek can land after the time: the index is searched by decode time, and with B-frames a
        // key frame decodes before it shows. Step further back until the first frame is early enough.
        for (double back = 1; sought && current && current->time > t + frameDuration / 2 + kFrameTimeTolerance;
             back *= 4) {
            const double earlier = std::max(target - back, 0.0);
            if (!reader->seek(earlier)) break;
            isFinished = false;
            current = read();
            next = read();
            if (earlier == 0) break;
        }
    }
};

SequentialSourceFrameDecoder::SequentialSourceFrameDecoder(fs::path file, double frameDuration, DecodeOptions options)
    : state_(std::make_unique<State>(State{std::move(file), frameDuration, options, {}, {}, {}, false, false, {}})) {}

SequentialSourceFrameDecoder::~SequentialSourceFrameDecoder() = default;

DecodedFrame SequentialSourceFrameDecoder::frameAt(double t) {
    State& s = *state_;
    if (!s.didPrime) s.prime(t);
    while (s.next && t + s.frameDuration / 2 + kFrameTimeTolerance >= s.next->time) {
        s.current = std::move(s.next);
        s.next = s.read();
    }
    PendingFrame* shown = s.current ? &*s.current : (s.next ? &*s.next : nullptr);
    if (!shown) return nullptr;
    auto frame = s.reader->convert(*shown);
    if (frame) s.answeredTime = frame->time;
    return frame;
}

bool SequentialSourceFrameDecoder::isFinished() const { return state_->isFinished; }

std::optional<double> SequentialSourceFrameDecoder::currentTime() const { return state_->answeredTime; }

// --- Random access --------------------------------------------------------------------------------

struct RandomAccessFrameSource::State {
    fs::path file;
    double frameDuration;
    DecodeOptions options;
    std::unique_ptr<FrameDecoder> reader;
    std::optional<double> lastTarget;
    DecodedFrame lastFrame;
};

RandomAccessFrameSource::RandomAccessFrameSource(fs::path file, double frameDuration, DecodeOptions options)
    : state_(std::make_unique<State>(State{std::move(file), frameDuration, options, {}, {}, {}})) {}

RandomAccessFrameSource::~RandomAccessFrameSource() = default;

DecodedFrame RandomAccessFrameSource::frameAt(double t) {
    State& s = *state_;
    if (!s.reader) s.reader = std::make_unique<FrameDecoder>(s.file, s.options);
    const double target = randomAccessTime(t, s.reader->duration(), s.frameDuration);
    if (s.lastTarget && *s.lastTarget == target) return s.lastFrame;
    auto best = s.reader->readAt(target);
    s.lastTarget = target;
    s.lastFrame = best ? s.reader->convert(*best) : nullptr;
    return s.lastFrame;
}

// --- Animations -----------------------------------------------------------------------------------

std::optional<DecodedAnimation> decodeAnimation(const fs::path& file, const DecodeOptions& options) {
    std::unique_ptr<FrameDecoder> reader;
    try {
        reader = std::make_unique<FrameDecoder>(file, options);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    std::vector<PendingFrame> pending;
    while (auto frame = reader->read()) pending.push_back(std::move(*frame));
    if (pending.size() < 2) return std::nullopt;

    DecodedAnimation animation;
    double previousEnd = 0;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        // A frame lasts until the next one starts; the last one as long as the file says, or as
        // long as the one before it.
        const double lastDuration =
            pending[i].duration > 0 ? pending[i].duration : pending[i].time - pending[i - 1].time;
        double end = i + 1 < pending.size() ? pending[i + 1].time : pending[i].time + lastDuration;
        end = std::max(end, previousEnd + 0.01);  // zero-delay frames still show for a moment
        auto converted = reader->convert(pending[i]);
        if (!converted) continue;
        animation.frames.push_back(std::move(converted));
        animation.cumulativeEndTimes.push_back(end);
        previousEnd = end;
    }
    if (animation.frames.size() < 2) return std::nullopt;
    return animation;
}

}  // namespace orvane
