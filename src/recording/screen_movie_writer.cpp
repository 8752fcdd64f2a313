#include "recording/screen_movie_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <pthread.h>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include "base/log.h"
#include "base/uuid.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kArea = "Orvane.Recorder";
constexpr AVRational kVideoTimeBase{1, 90000};
constexpr int kAudioRate = 48000;
constexpr int kAudioChannels = 2;
constexpr std::int64_t kAudioBitRate = 192'000;
constexpr std::int64_t kH264BitRate = 18'000'000;
constexpr std::int64_t kHevcBitRate = 22'000'000;
constexpr int kProResProfile4444 = 4;
constexpr int kAlphaProbeWidth = 1920;
constexpr int kAlphaProbeHeight = 1080;
constexpr int kAlphaProbeFrames = 8;
constexpr auto kTailFrameGap = std::chrono::milliseconds(150);
// Converted pictures made ready before capture starts: the one being converted, the one being
// encoded and the last one, kept for the tail frame.
constexpr std::size_t kPreparedPictures = 3;
// Audio that piles up while the encoder is busy is kept (it is small); only past this many waiting
// buffers is it dropped, so a stalled encoder cannot eat the memory.
constexpr std::size_t kMaximumQueuedAudio = 2000;
constexpr const char* kVaapiDevice = "/dev/dri/renderD128";

[[noreturn]] void fail(const std::string& what, int status) {
    throw MovieWriterError(what + " (" + ffmpeg::errorText(status) + ")");
}

void check(int status, const char* what) {
    if (status < 0) fail(what, status);
}

struct BufferUnref {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
using BufferRef = std::unique_ptr<AVBufferRef, BufferUnref>;

struct FifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

void describeBt709(AVCodecContext* context) {
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    context->colorspace = AVCOL_SPC_BT709;
    context->color_range = AVCOL_RANGE_MPEG;
}

}  // namespace

struct ScreenMovieWriter::Encoders {
    ffmpeg::OutputFormatContext output;
    ffmpeg::CodecContext video;
    AVStream* videoStream = nullptr;
    ffmpeg::ScaleContext scaler;
    AVPixelFormat pictureFormat = AV_PIX_FMT_NONE;  // what the scaler writes
    BufferRef hardwareDevice;  // set when encoding on the GPU
    std::int64_t lastVideoPts = AV_NOPTS_VALUE;

    ffmpeg::CodecContext audio;
    AVStream* audioStream = nullptr;
    ffmpeg::ResampleContext resampler;
    int resamplerRate = 0;
    int resamplerChannels = 0;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo;
    ffmpeg::Frame audioFrame;
    std::int64_t audioPts = AV_NOPTS_VALUE;  // of the next sample leaving the fifo, in 1/48000

    ffmpeg::Packet packet{av_packet_alloc()};
    bool headerWritten = false;

    // Fragments are cut here rather than by the muxer. It would close one whenever any track's
    // packet came long enough after the fragment's start, and then give the video's last picture
    // its packet duration instead of the time to the next picture, squeezing out the gap: a still
    // stretch cut by an audio packet would come out shorter than it was.
    //
    // So each video packet waits for the next one, which says how long it lasts, and a fragment
    // closes right after a video packet that reaches kFragmentDuration. Audio goes out at once.
    ffmpeg::Packet heldVideo{av_packet_alloc()};
    bool holdingVideo = false;
    std::int64_t fragmentStart = AV_NOPTS_VALUE;  // in the video stream's time base
    std::int64_t lastKeyPts = AV_NOPTS_VALUE;     // in kVideoTimeBase
    int fps = 60;

    // Hardware HEVC where a VAAPI device answers: less CPU while recording, which is what matters most.
    bool openHevcVaapi(const MovieWriterSettings& settings) {
        std::error_code error;
        if (!fs::exists(kVaapiDevice, error)) return false;
        const AVCodec* codec = avcodec_find_encoder_by_name("hevc_vaapi");
        if (!codec) return false;
        AVBufferRef* device = nullptr;
        if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, kVaapiDevice, nullptr, 0) < 0) return false;
        BufferRef ownedDevice(device);
        BufferRef frames(av_hwframe_ctx_alloc(device));
        if (!frames) return false;
        auto* framesContext = reinterpret_cast<AVHWFramesContext*>(frames->data);
        framesContext->format = AV_PIX_FMT_VAAPI;
        framesContext->sw_format = AV_PIX_FMT_NV12;
        framesContext->width = settings.width;
        framesContext->height = settings.height;
        framesContext->initial_pool_size = 16;
        if (av_hwframe_ctx_init(frames.get()) < 0) return false;

        ffmpeg::CodecContext context(avcodec_alloc_context3(codec));
        configureVideo(context.get(), settings, kHevcBitRate);
        context->pix_fmt = AV_PIX_FMT_VAAPI;
        context->hw_frames_ctx = av_buffer_ref(frames.get());
        if (avcodec_open2(context.get(), codec, nullptr) < 0) {
            log::info(kArea, "hevc_vaapi did not open; encoding H.264 in software");
            return false;
        }
        video = std::move(context);
        hardwareDevice = std::move(ownedDevice);
        return true;
    }

    void openH264(const MovieWriterSettings& settings) {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) throw MovieWriterError("The H.264 encoder (libx264) is not available.");
        video.reset(avcodec_alloc_context3(codec));
        configureVideo(video.get(), settings, kH264BitRate);
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->profile = FF_PROFILE_H264_HIGH;
        // A preset that keeps up with the screen in real time; zerolatency drops the look-ahead and
        // B-frames, so each frame leaves the encoder at once and fragments close on time.
        av_opt_set(video->priv_data, "preset", "veryfast", 0);
        av_opt_set(video->priv_data, "tune", "zerolatency", 0);
        check(avcodec_open2(video.get(), codec, nullptr), "Could not start the H.264 encoder");
    }

    // ProRes 4444 keeps a 10-bit alpha plane next to full-resolution chroma; the encoder is quality
    // based, so the bit rate given is only a target it may not meet.
    void openProRes4444(const MovieWriterSettings& settings) {
        const AVCodec* codec = avcodec_find_encoder_by_name("prores_ks");
        if (!codec) throw MovieWriterError("The ProRes encoder (prores_ks) is not available.");
        video.reset(avcodec_alloc_context3(codec));
        configureVideo(video.get(), settings, kHevcBitRate);
        video->pix_fmt = AV_PIX_FMT_YUVA444P10LE;
        video->profile = kProResProfile4444;
        video->thread_count = 0;  // one slice thread per core
        av_opt_set_int(video->priv_data, "alpha_bits", 16, 0);
        check(avcodec_open2(video.get(), codec, nullptr), "Could not start the ProRes encoder");
    }

    void configureVideo(AVCodecContext* context, const MovieWriterSettings& settings, std::int64_t bitRate) {
        context->width = settings.width;
        context->height = settings.height;
        context->time_base = kVideoTimeBase;
        context->framerate = AVRational{settings.fps, 1};
        // A key frame a second, so every second of the movie on disk decodes on its own.
        context->gop_size = std::max(1, static_cast<int>(settings.fps * kKeyFrameInterval.count() / 1000));
        context->max_b_frames = 0;
        context->bit_rate = bitRate;
        describeBt709(context);
        if (output->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    void openAudio() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) throw MovieWriterError("The AAC encoder is not available.");
        audio.reset(avcodec_alloc_context3(codec));
        audio->sample_rate = kAudioRate;
        audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        audio->bit_rate = kAudioBitRate;
        audio->time_base = AVRational{1, kAudioRate};
        av_channel_layout_default(&audio->ch_layout, kAudioChannels);
        if (output->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(audio.get(), codec, nullptr), "Could not start the AAC encoder");
        audioStream = avformat_new_stream(output.get(), nullptr);
        if (!audioStream) throw MovieWriterError("Could not add the audio track.");
        audioStream->time_base = audio->time_base;
        check(avcodec_parameters_from_context(audioStream->codecpar, audio.get()), "Could not describe the audio track");
        fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, kAudioChannels, audio->frame_size * 4));
        audioFrame.reset(av_frame_alloc());
        audioFrame->format = AV_SAMPLE_FMT_FLTP;
        audioFrame->sample_rate = kAudioRate;
        check(av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout), "Could not set up the audio frame");
    }

    void writePackets(AVCodecContext* context, AVStream* stream) {
        for (;;) {
            const int status = avcodec_receive_packet(context, packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            check(status, "Could not encode the recording");
            if (stream == videoStream && (packet->flags & AV_PKT_FLAG_KEY)) lastKeyPts = packet->pts;
            av_packet_rescale_ts(packet.get(), context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (stream == videoStream) {
                writeVideo(packet.get());
            } else {
                write(packet.get());
            }
        }
    }

    // Straight to the muxer: a fragment keeps each track's samples apart anyway, and interleaving
    // would hold the video back for as long as the other track sends nothing (a system-audio
    // source that pauses while nothing plays).
    void write(AVPacket* out) {
        const int written = av_write_frame(output.get(), out);
        av_packet_unref(out);
        check(written, "Could not write the recording");
    }

    // Writes the held video packet, now that `next` says when it ends, and holds `next`. Without
    // `next` (the movie ends) the held packet lasts one frame.
    void writeVideo(AVPacket* next) {
        if (holdingVideo) {
            heldVideo->duration = next ? next->dts - heldVideo->dts
                                       : av_rescale_q(1, AVRational{1, fps}, videoStream->time_base);
            const std::int64_t end = heldVideo->dts + heldVideo->duration;
            write(heldVideo.get());
            holdingVideo = false;
            const auto fragmentTicks = av_rescale_q(std::chrono::microseconds(kFragmentDuration).count(),
                                                    AVRational{1, 1'000'000}, videoStream->time_base);
            if (next && end - fragmentStart >= fragmentTicks) {
                check(av_write_frame(output.get(), nullptr), "Could not write the recording");
                fragmentStart = end;
            }
        }
        if (!next) return;
        if (fragmentStart == AV_NOPTS_VALUE) fragmentStart = next->dts;
        av_packet_move_ref(heldVideo.get(), next);
        holdingVideo = true;
    }

    ffmpeg::Frame newPicture() const {
        ffmpeg::Frame picture(av_frame_alloc());
        if (!picture) throw MovieWriterError("Could not allocate a video frame.");
        picture->format = pictureFormat;
        picture->width = video->width;
        picture->height = video->height;
        check(av_frame_get_buffer(picture.get(), 0), "Could not allocate a video frame");
        return picture;
    }

    // On the capture thread; the scaler is used nowhere else.
    void convert(const ScreenFrame& frame, AVFrame* picture) {
        const std::uint8_t* source[1] = {frame.bgra.data()};
        const int sourceStride[1] = {frame.stride};
        sws_scale(scaler.get(), source, sourceStride, 0, frame.height, picture->data, picture->linesize);
    }

    void encodeVideo(AVFrame* picture, TimePoint time, TimePoint first) {
        const auto offset = std::chrono::duration<double>(time - first).count();
        std::int64_t pts = std::llround(offset * kVideoTimeBase.den);
        if (lastVideoPts != AV_NOPTS_VALUE && pts <= lastVideoPts) pts = lastVideoPts + 1;
        lastVideoPts = pts;

        AVFrame* toSend = picture;
        ffmpeg::Frame hardwareFrame;
        if (hardwareDevice) {
            hardwareFrame.reset(av_frame_alloc());
            check(av_hwframe_get_buffer(video->hw_frames_ctx, hardwareFrame.get(), 0), "Could not get a GPU frame");
            check(av_hwframe_transfer_data(hardwareFrame.get(), picture, 0), "Could not upload a frame");
            toSend = hardwareFrame.get();
        }
        toSend->pts = pts;
        // A key frame at least every second whatever the frame rate: a still screen sends only a
        // frame every half fragment, which the encoder's frame-counted group would stretch out, so
        // one is forced that much before the second is up.
        const auto keyTicks = av_rescale_q(std::chrono::microseconds(kKeyFrameInterval - kFragmentDuration / 2).count(),
                                           AVRational{1, 1'000'000}, kVideoTimeBase);
        const bool keyDue = lastKeyPts == AV_NOPTS_VALUE || pts - lastKeyPts >= keyTicks;
        toSend->pict_type = keyDue ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        check(avcodec_send_frame(video.get(), toSend), "Could not encode the recording");
        writePackets(video.get(), videoStream);
    }

    void encodeAudio(const float* interleaved, int frames, int channels, int rate, TimePoint hostTime, TimePoint first) {
        if (!resampler || resamplerRate != rate || resamplerChannels != channels) {
            AVChannelLayout inLayout{}, outLayout{};
            av_channel_layout_default(&inLayout, channels);
            av_channel_layout_default(&outLayout, kAudioChannels);
            SwrContext* raw = nullptr;
            check(swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLTP, kAudioRate, &inLayout, AV_SAMPLE_FMT_FLT,
                                      rate, 0, nullptr),
                  "Could not set up the audio converter");
            resampler.reset(raw);
            check(swr_init(resampler.get()), "Could not set up the audio converter");
            resamplerRate = rate;
            resamplerChannels = channels;
        }
        if (audioPts == AV_NOPTS_VALUE) {
            audioPts = std::max<std::int64_t>(
                0, std::llround(std::chrono::duration<double>(hostTime - first).count() * kAudioRate));
        }
        const int capacity = swr_get_out_samples(resampler.get(), frames);
        std::vector<float> planes(static_cast<std::size_t>(std::max(capacity, 1)) * kAudioChannels);
        std::uint8_t* out[kAudioChannels];
        for (int c = 0; c < kAudioChannels; ++c) {
            out[c] = reinterpret_cast<std::uint8_t*>(planes.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(std::max(capacity, 1)));
        }
        const auto* in = reinterpret_cast<const std::uint8_t*>(interleaved);
        const int converted = swr_convert(resampler.get(), out, capacity, &in, frames);
        check(converted, "Could not convert the audio");
        if (converted > 0) {
            check(av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(out), converted), "Could not queue audio");
        }
        drainAudio(false);
    }

    void drainAudio(bool flush) {
        const int frameSize = audio->frame_size;
        while (av_audio_fifo_size(fifo.get()) >= frameSize || (flush && av_audio_fifo_size(fifo.get()) > 0)) {
            const int count = std::min(frameSize, av_audio_fifo_size(fifo.get()));
            av_frame_unref(audioFrame.get());
            audioFrame->nb_samples = count;
            audioFrame->format = AV_SAMPLE_FMT_FLTP;
            audioFrame->sample_rate = kAudioRate;
            check(av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout), "Could not set up the audio frame");
            check(av_frame_get_buffer(audioFrame.get(), 0), "Could not allocate audio");
            check(av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(audioFrame->data), count), "Could not read audio");
            audioFrame->pts = audioPts;
            audioPts += count;
            check(avcodec_send_frame(audio.get(), audioFrame.get()), "Could not encode the audio");
            writePackets(audio.get(), audioStream);
        }
    }

    void flushAndClose() {
        check(avcodec_send_frame(video.get(), nullptr), "Could not finish the video");
        writePackets(video.get(), videoStream);
        writeVideo(nullptr);
        if (audio) {
            if (audioPts != AV_NOPTS_VALUE) drainAudio(true);
            check(avcodec_send_frame(audio.get(), nullptr), "Could not finish the audio");
            writePackets(audio.get(), audioStream);
        }
        check(av_write_trailer(output.get()), "Could not finish the movie file");
        check(avio_closep(&output->pb), "Could not close the movie file");
    }
};

ScreenMovieWriter::ScreenMovieWriter(MovieWriterSettings settings)
    : settings_(std::move(settings)), encoders_(std::make_unique<Encoders>()) {
    ffmpeg::routeLogging();
    if (settings_.width < 2 || settings_.height < 2 || settings_.width % 2 || settings_.height % 2) {
        throw MovieWriterError("The recording size " + std::to_string(settings_.width) + "x" +
                               std::to_string(settings_.height) + " cannot be encoded.");
    }
    auto& e = *encoders_;
    e.fps = settings_.fps;
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, settings_.withAlpha ? "mov" : "mp4", settings_.file.c_str()),
          "Could not set up the movie file");
    e.output.reset(raw);

    if (settings_.withAlpha) {
        e.openProRes4444(settings_);
    } else if (!e.openHevcVaapi(settings_)) {
        e.openH264(settings_);
    }
    e.videoStream = avformat_new_stream(e.output.get(), nullptr);
    if (!e.videoStream) throw MovieWriterError("Could not add the video track.");
    e.videoStream->time_base = e.video->time_base;
    e.videoStream->avg_frame_rate = AVRational{settings_.fps, 1};
    check(avcodec_parameters_from_context(e.videoStream->codecpar, e.video.get()), "Could not describe the video track");

    e.pictureFormat = e.hardwareDevice ? AV_PIX_FMT_NV12 : e.video->pix_fmt;
    // Chroma from every pixel, averaged over each 2x2 block by the area filter: a proper 4:2:0
    // reduction, and faster than the default path that halves it while reading.
    e.scaler.reset(sws_getContext(settings_.width, settings_.height, AV_PIX_FMT_BGRA, settings_.width, settings_.height,
                                  e.pictureFormat, SWS_AREA | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
    if (!e.scaler) throw MovieWriterError("Could not set up the colour conversion.");
    // Full-range RGB in, BT.709 limited-range YCbCr out, matching what the stream says it carries.
    sws_setColorspaceDetails(e.scaler.get(), sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709),
                             0, 0, 1 << 16, 1 << 16);

    if (settings_.withAudio) e.openAudio();
    // Pictures written once now, so the first frames of the recording do not wait for the kernel to
    // fault fresh memory in.
    for (std::size_t n = 0; n < kPreparedPictures; ++n) {
        ffmpeg::Frame picture = e.newPicture();
        for (int plane = 0; plane < AV_NUM_DATA_POINTERS && picture->buf[plane]; ++plane) {
            std::memset(picture->buf[plane]->data, 0, picture->buf[plane]->size);
        }
        sparePictures_.emplace_back(picture.release());
    }

    check(avio_open(&e.output->pb, settings_.file.c_str(), AVIO_FLAG_WRITE), "Could not create the movie file");
    // Fragments, each written out as soon as it closes: whatever happens to this process, the file
    // on disk plays up to the last whole fragment.
    e.output->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* options = nullptr;
    // Fragments are cut by writeVideo(), never by the muxer on its own.
    av_dict_set(&options, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
    const int status = avformat_write_header(e.output.get(), &options);
    av_dict_free(&options);
    check(status, "Could not write the movie header");
    e.headerWritten = true;

    log::info(kArea, "writing %s: %dx%d at %d fps with %s%s", settings_.file.c_str(), settings_.width, settings_.height,
              settings_.fps, e.video->codec->name, settings_.withAudio ? " and AAC system audio" : "");
    thread_ = std::thread([this] { run(); });
}

ScreenMovieWriter::~ScreenMovieWriter() {
    if (thread_.joinable()) abandon();
}

void ScreenMovieWriter::startClockIfNeeded(TimePoint time) {
    if (!firstSampleTime_) firstSampleTime_ = time;
}

void ScreenMovieWriter::PictureRelease::operator()(AVFrame* picture) const { av_frame_free(&picture); }

ScreenMovieWriter::Picture ScreenMovieWriter::takeSparePicture() {
    if (sparePictures_.empty()) return nullptr;
    Picture picture = std::move(sparePictures_.back());
    sparePictures_.pop_back();
    return picture;
}

void ScreenMovieWriter::keepSparePicture(Picture picture) {
    // A picture the encoder still holds a reference to cannot be written over.
    if (!av_frame_is_writable(picture.get())) return;
    std::lock_guard lock(mutex_);
    if (sparePictures_.size() < settings_.queueDepth + kPreparedPictures) sparePictures_.push_back(std::move(picture));
}

void ScreenMovieWriter::failWith(const std::string& failure) {
    failure_ = failure;
    inputsFinished_ = true;
    queue_.clear();
    queuedVideo_ = 0;
}

bool ScreenMovieWriter::appendVideo(const ScreenFrame& frame) {
    // The converter reads the size it was set up for, from the frame's top left.
    if (frame.width < settings_.width || frame.height < settings_.height || frame.stride < frame.width * 4 ||
        frame.bgra.size() < static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height)) {
        log::error(kArea, "a %dx%d frame does not fit the %dx%d movie", frame.width, frame.height, settings_.width,
                   settings_.height);
        return false;
    }
    std::lock_guard input(inputMutex_);
    Picture picture;
    {
        std::lock_guard lock(mutex_);
        // Only a full queue loses a frame of the movie; one after the stop or from before the
        // movie's first moment was never part of it.
        if (inputsFinished_) return false;
        if (queuedVideo_ >= settings_.queueDepth) {
            ++dropped_;
            return false;
        }
        startClockIfNeeded(frame.time);
        if (frame.time < *firstSampleTime_) return false;
        picture = takeSparePicture();
    }
    try {
        if (!picture) picture.reset(encoders_->newPicture().release());
        encoders_->convert(frame, picture.get());
    } catch (const std::exception& e) {
        log::error(kArea, "writer failed: %s", e.what());
        std::lock_guard lock(mutex_);
        failWith(e.what());
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        // The writer may have failed while this frame was converted.
        if (inputsFinished_) return false;
        lastVideoTime_ = frame.time;
        ++queuedVideo_;
        queue_.push_back(Item{VideoItem{std::move(picture), frame.time}, std::nullopt});
    }
    wake_.notify_one();
    return true;
}

void ScreenMovieWriter::appendAudio(const AudioSamples& samples) {
    if (!settings_.withAudio || samples.frameCount <= 0 || samples.channels <= 0 || samples.sampleRate <= 0) return;
    const auto needed = static_cast<std::size_t>(samples.frameCount) * static_cast<std::size_t>(samples.channels);
    if (samples.interleaved.size() < needed) return;
    {
        std::lock_guard lock(mutex_);
        if (inputsFinished_ || queue_.size() - queuedVideo_ >= kMaximumQueuedAudio) return;
        startClockIfNeeded(samples.hostTime);
        // Audio from before the movie's first moment has no place in it.
        if (samples.hostTime < *firstSampleTime_) return;
        AudioChunk chunk{std::vector<float>(samples.interleaved.begin(), samples.interleaved.begin() + static_cast<std::ptrdiff_t>(needed)),
                         samples.frameCount, samples.channels, samples.sampleRate, samples.hostTime};
        queue_.push_back(Item{std::nullopt, std::move(chunk)});
    }
    wake_.notify_one();
}

void ScreenMovieWriter::finishInputs(TimePoint now) {
    {
        std::lock_guard input(inputMutex_);
        std::lock_guard lock(mutex_);
        if (inputsFinished_) return;
        inputsFinished_ = true;
        if (lastVideoTime_ && now - *lastVideoTime_ > kTailFrameGap) {
            // No picture, stamped `now`: the writer thread repeats the last one.
            queue_.push_back(Item{VideoItem{nullptr, now}, std::nullopt});
            ++queuedVideo_;
            lastVideoTime_ = now;
        }
    }
    wake_.notify_one();
}

void ScreenMovieWriter::run() {
    pthread_setname_np(pthread_self(), "orvane.writer");
    for (;;) {
        Item item;
        TimePoint first;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return !queue_.empty() || stopping_; });
            if (discard_ || queue_.empty()) return;
            item = std::move(queue_.front());
            queue_.pop_front();
            if (item.video) --queuedVideo_;
            first = *firstSampleTime_;
        }
        try {
            if (item.video) {
                auto& video = *item.video;
                if (!video.picture) {
                    if (!lastPicture_) continue;
                    encoders_->encodeVideo(lastPicture_.get(), video.time, first);
                } else {
                    encoders_->encodeVideo(video.picture.get(), video.time, first);
                    Picture older = std::exchange(lastPicture_, std::move(video.picture));
                    if (older) keepSparePicture(std::move(older));
                }
                std::lock_guard lock(mutex_);
                ++written_;
            } else if (item.audio) {
                const auto& a = *item.audio;
                encoders_->encodeAudio(a.interleaved.data(), a.frames, a.channels, a.sampleRate, a.hostTime, first);
            }
        } catch (const std::exception& e) {
            log::error(kArea, "writer failed: %s", e.what());
            std::lock_guard lock(mutex_);
            failWith(e.what());
            return;
        }
    }
}

void ScreenMovieWriter::finish() {
    {
        std::lock_guard lock(mutex_);
        inputsFinished_ = true;
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    if (!failure_.empty()) throw MovieWriterError(failure_);
    bool anyFrame = false;
    {
        std::lock_guard lock(mutex_);
        anyFrame = written_ > 0;
    }
    if (!anyFrame) log::warning(kArea, "no screen frame arrived; the movie has no pictures");
    encoders_->flushAndClose();
    log::info(kArea, "finished %s: %llu frames written, %llu dropped", settings_.file.c_str(),
              static_cast<unsigned long long>(written_), static_cast<unsigned long long>(dropped_));
}

void ScreenMovieWriter::abandon() {
    {
        std::lock_guard lock(mutex_);
        inputsFinished_ = true;
        stopping_ = true;
        discard_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::optional<ScreenMovieWriter::TimePoint> ScreenMovieWriter::firstSampleTime() const {
    std::lock_guard lock(mutex_);
    return firstSampleTime_;
}

std::uint64_t ScreenMovieWriter::droppedFrames() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::uint64_t ScreenMovieWriter::writtenFrames() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::string ScreenMovieWriter::videoEncoderName() const { return encoders_->video->codec->name; }

AlphaProbeResult probeAlphaWriter(const fs::path& folder, int fps) {
    using Clock = std::chrono::steady_clock;
    AlphaProbeResult result;
    fps = fps > 0 ? fps : 60;
    MovieWriterSettings settings;
    settings.file = folder / ("orvane-alpha-probe-" + Uuid::random().string() + ".mov");
    settings.width = kAlphaProbeWidth;
    settings.height = kAlphaProbeHeight;
    settings.fps = fps;
    settings.withAlpha = true;
    settings.queueDepth = kAlphaProbeFrames;
    struct RemoveFile {
        fs::path file;
        ~RemoveFile() {
            std::error_code error;
            fs::remove(file, error);
        }
    } removeProbe{settings.file};
    try {
        ScreenMovieWriter writer(settings);
        // A busy picture (gradients that shift per frame, a half-transparent band) so the encoder
        // works about as hard as on a real desktop.
        std::vector<ScreenFrame> frames(kAlphaProbeFrames);
        for (int n = 0; n < kAlphaProbeFrames; ++n) {
            auto& frame = frames[static_cast<std::size_t>(n)];
            frame.width = settings.width;
            frame.height = settings.height;
            frame.stride = settings.width * 4;
            frame.bgra.resize(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height));
            for (int y = 0; y < frame.height; ++y) {
                std::uint8_t* row = frame.bgra.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride);
                for (int x = 0; x < frame.width; ++x) {
                    row[x * 4 + 0] = static_cast<std::uint8_t>(x + n * 7);
                    row[x * 4 + 1] = static_cast<std::uint8_t>(y * 3 + x / 5);
                    row[x * 4 + 2] = static_cast<std::uint8_t>((x ^ y) + n);
                    row[x * 4 + 3] = static_cast<std::uint8_t>(y % 270 < 90 ? 0 : (y % 270 < 180 ? 128 : 255));
                }
            }
        }
        const auto start = Clock::now();
        for (int n = 0; n < kAlphaProbeFrames; ++n) {
            auto& frame = frames[static_cast<std::size_t>(n)];
            frame.time = start + std::chrono::microseconds(1'000'000 * n / fps);
            writer.appendVideo(frame);
        }
        // Only as long as the frames would last when played: an encoder still busy then cannot
        // keep up, however long it would take to finish.
        const auto budget = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(kAlphaProbeFrames) / fps));
        while (writer.writtenFrames() < static_cast<std::uint64_t>(kAlphaProbeFrames) && Clock::now() - start < budget) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const auto written = writer.writtenFrames();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.framesPerSecond = seconds > 0 ? static_cast<double>(written) / seconds : 0;
        writer.abandon();
        result.usable = written >= static_cast<std::uint64_t>(kAlphaProbeFrames);
        if (!result.usable) {
            char text[160];
            std::snprintf(text, sizeof text, "ProRes 4444 encoded %llu of %d frames at %dx%d in %.2f s; %d frames/s are needed",
                          static_cast<unsigned long long>(written), kAlphaProbeFrames, settings.width, settings.height,
                          seconds, fps);
            result.reason = text;
        }
    } catch (const std::exception& e) {
        result.reason = e.what();
    }
    log::info(kArea, "alpha probe: %s%s", result.usable ? "usable" : "not usable: ", result.reason.c_str());
    return result;
}

}  // namespace orvane
