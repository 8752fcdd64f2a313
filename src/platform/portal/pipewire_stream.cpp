#include "platform/portal/pipewire_stream.h"

#include <fcntl.h>
#include <linux/dma-buf.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

// The compositor sends its first picture at once; one that stays silent this long is not sending.
constexpr auto kFirstFrameWait = std::chrono::seconds(3);

void initPipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// A DMA-BUF mapped for reading, with the kernel told about the CPU access so caches are coherent.
class MappedDmaBuf {
public:
    MappedDmaBuf(int fd, std::size_t size) : fd_(fd), size_(size) {
        data_ = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
        if (data_ == MAP_FAILED) {
            data_ = nullptr;
            return;
        }
        dma_buf_sync sync{DMA_BUF_SYNC_START | DMA_BUF_SYNC_READ};
        ioctl(fd_, DMA_BUF_IOCTL_SYNC, &sync);
    }
    ~MappedDmaBuf() {
        if (!data_) return;
        dma_buf_sync sync{DMA_BUF_SYNC_END | DMA_BUF_SYNC_READ};
        ioctl(fd_, DMA_BUF_IOCTL_SYNC, &sync);
        munmap(data_, size_);
    }
    MappedDmaBuf(const MappedDmaBuf&) = delete;
    MappedDmaBuf& operator=(const MappedDmaBuf&) = delete;
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(data_); }

private:
    int fd_;
    std::size_t size_;
    void* data_ = nullptr;
};

bool swapsRedBlue(std::uint32_t format) { return format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA; }

// Copies `width` pixels of one row into BGRA, opaque.
void copyRow(const std::uint8_t* in, std::uint8_t* out, int width, bool swap) {
    if (!swap) {
        std::memcpy(out, in, static_cast<std::size_t>(width) * 4);
    } else {
        for (int x = 0; x < width; ++x) {
            out[4 * x] = in[4 * x + 2];
            out[4 * x + 1] = in[4 * x + 1];
            out[4 * x + 2] = in[4 * x];
        }
    }
    for (int x = 0; x < width; ++x) out[4 * x + 3] = 0xFF;
}

struct Region {
    int x = 0, y = 0, width = 0, height = 0;
};

Region clipped(Region r, int width, int height) {
    const int left = std::clamp(r.x, 0, width), top = std::clamp(r.y, 0, height);
    const int right = std::clamp(r.x + r.width, 0, width), bottom = std::clamp(r.y + r.height, 0, height);
    return {left, top, right - left, bottom - top};
}

}  // namespace

struct PipeWireStream::Impl {
    // PipeWire's objects: touched on its thread, or here with its loop lock held.
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    std::uint32_t node = 0;
    spa_hook coreListener{};
    spa_hook registryListener{};
    spa_hook streamListener{};
    std::uint32_t format = SPA_VIDEO_FORMAT_UNKNOWN;
    int fps = 60;

    // Shared with the capture thread.
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::optional<Size> size;
    std::optional<std::string> ended;  // why the stream stopped, once it did
    bool streaming = false;
    ScreenFrame latest;  // the whole picture, BGRA
    std::uint64_t sequence = 0;
    std::uint64_t copiedSequence = 0;  // the newest picture any grabber copied
    std::uint64_t superseded = 0;
    std::optional<PointerLocation> cursor;
    std::vector<std::uint8_t> cursorBitmap;  // BGRA, straight alpha
    int cursorWidth = 0, cursorHeight = 0, hotX = 0, hotY = 0;

    void end(const std::string& why) {
        std::lock_guard lock(mutex);
        if (!ended) {
            ended = why;
            log::warning(log_area::kCapture, "screen-cast stream ended: %s", why.c_str());
        }
        changed.notify_all();
    }

    void onParamChanged(std::uint32_t id, const spa_pod* param) {
        if (id != SPA_PARAM_Format || !param) return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0) return;
        format = info.format;
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod* params[4];
        int count = 0;
        // Shared memory always; DMA-BUF too, which we map for reading (linear buffers, since we
        // announce no modifiers).
        const int dataTypes = (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_DmaBuf);
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int(dataTypes)));
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region))));
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
        // Room for a 64 x 64 pointer picture.
        const int cursorSize = static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 64 * 64 * 4);
        params[count++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(cursorSize, static_cast<int>(sizeof(spa_meta_cursor)), cursorSize)));
        pw_stream_update_params(stream, params, static_cast<std::uint32_t>(count));

        std::lock_guard lock(mutex);
        size = Size{static_cast<double>(info.size.width), static_cast<double>(info.size.height)};
        log::info(log_area::kCapture, "screen-cast format %ux%u, format %u", info.size.width, info.size.height,
                  info.format);
        changed.notify_all();
    }

    void onStateChanged(pw_stream_state old, pw_stream_state state, const char* error) {
        if (state == PW_STREAM_STATE_STREAMING) {
            std::lock_guard lock(mutex);
            streaming = true;
        } else if (state == PW_STREAM_STATE_ERROR) {
            end(std::string("the screen cast failed: ") + (error ? error : "unknown error"));
        } else if (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED) {
            end("the desktop stopped sharing the screen");
        }
    }

    void readCursor(spa_buffer* buffer) {
        auto* meta =
            static_cast<spa_meta_cursor*>(spa_buffer_find_meta_data(buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
        if (!meta || !spa_meta_cursor_is_valid(meta)) return;
        std::lock_guard lock(mutex);
        cursor = PointerLocation{static_cast<double>(meta->position.x), static_cast<double>(meta->position.y)};
        if (meta->bitmap_offset < sizeof(spa_meta_cursor)) return;
        auto* bitmap = SPA_PTROFF(meta, meta->bitmap_offset, spa_meta_bitmap);
        const bool bgra = bitmap->format == SPA_VIDEO_FORMAT_BGRA, rgba = bitmap->format == SPA_VIDEO_FORMAT_RGBA;
        if ((!bgra && !rgba) || bitmap->size.width == 0 || bitmap->size.height == 0) return;
        cursorWidth = static_cast<int>(bitmap->size.width);
        cursorHeight = static_cast<int>(bitmap->size.height);
        hotX = meta->hotspot.x;
        hotY = meta->hotspot.y;
        cursorBitmap.resize(static_cast<std::size_t>(cursorWidth) * static_cast<std::size_t>(cursorHeight) * 4);
        const auto* pixels = SPA_PTROFF(bitmap, bitmap->offset, const std::uint8_t);
        for (int y = 0; y < cursorHeight; ++y) {
            const auto* in = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap->stride);
            auto* out = cursorBitmap.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(cursorWidth) * 4;
            std::memcpy(out, in, static_cast<std::size_t>(cursorWidth) * 4);
            if (rgba) {
                for (int x = 0; x < cursorWidth; ++x) std::swap(out[4 * x], out[4 * x + 2]);
            }
        }
    }

    void onProcess() {
        // Only the newest picture matters; older queued ones go back untouched.
        pw_buffer* newest = nullptr;
        while (pw_buffer* next = pw_stream_dequeue_buffer(stream)) {
            if (newest) {
                pw_stream_queue_buffer(stream, newest);
                std::lock_guard lock(mutex);
                ++superseded;
            }
            newest = next;
        }
        if (!newest) return;
        copyPicture(newest->buffer);
        pw_stream_queue_buffer(stream, newest);
    }

    void copyPicture(spa_buffer* buffer) {
        readCursor(buffer);
        auto* header =
            static_cast<spa_meta_header*>(spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
        if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) return;
        spa_data& data = buffer->datas[0];
        // A buffer without pixels carries only a pointer update.
        if (!data.chunk || data.chunk->size == 0) return;
        std::optional<MappedDmaBuf> mapped;
        const std::uint8_t* base = static_cast<const std::uint8_t*>(data.data);
        if (!base && data.type == SPA_DATA_DmaBuf) {
            mapped.emplace(static_cast<int>(data.fd), static_cast<std::size_t>(data.maxsize + data.mapoffset));
            base = mapped->data() ? mapped->data() + data.mapoffset : nullptr;
        }
        if (!base) return;
        const std::uint8_t* pixels = base + data.chunk->offset;
        const int stride = data.chunk->stride;

        std::lock_guard lock(mutex);
        if (!size) return;
        Region area{0, 0, static_cast<int>(size->width), static_cast<int>(size->height)};
        // The compositor may send a bigger buffer than the shared area (a window inside its output).
        if (auto* crop = static_cast<spa_meta_region*>(
                spa_buffer_find_meta_data(buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
            crop && spa_meta_region_is_valid(crop)) {
            area = {crop->region.position.x, crop->region.position.y, static_cast<int>(crop->region.size.width),
                    static_cast<int>(crop->region.size.height)};
        }
        const Region stored{0, 0, static_cast<int>(size->width), static_cast<int>(size->height)};
        area.width = std::min(area.width, stored.width);
        area.height = std::min(area.height, stored.height);
        const std::size_t needed = static_cast<std::size_t>(stride) * static_cast<std::size_t>(area.y + area.height);
        if (stride < (area.x + area.width) * 4 || needed > data.maxsize) return;

        latest.width = stored.width;
        latest.height = stored.height;
        latest.stride = stored.width * 4;
        latest.bgra.resize(static_cast<std::size_t>(latest.stride) * static_cast<std::size_t>(latest.height));
        const bool swap = swapsRedBlue(format);
        for (int row = 0; row < area.height; ++row) {
            copyRow(pixels + static_cast<std::size_t>(area.y + row) * static_cast<std::size_t>(stride) +
                        static_cast<std::size_t>(area.x) * 4,
                    latest.bgra.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(latest.stride),
                    area.width, swap);
        }
        latest.time = std::chrono::steady_clock::now();
        if (sequence > copiedSequence) ++superseded;
        ++sequence;
        changed.notify_all();
    }
};

namespace {

void onCoreError(void* data, std::uint32_t id, int, int res, const char* message) {
    auto* impl = static_cast<PipeWireStream::Impl*>(data);
    if (id == PW_ID_CORE) {
        impl->end(std::string("PipeWire went away: ") + (message ? message : std::strerror(-res)));
    }
}

// The shared node leaving the graph is the one sure sign that the desktop stopped sharing: the
// stream itself only pauses when its producer disappears.
void onGlobalRemoved(void* data, std::uint32_t id) {
    auto* impl = static_cast<PipeWireStream::Impl*>(data);
    if (id == impl->node) impl->end("the desktop stopped sharing the screen");
}

void onStreamState(void* data, pw_stream_state old, pw_stream_state state, const char* error) {
    static_cast<PipeWireStream::Impl*>(data)->onStateChanged(old, state, error);
}

void onStreamParam(void* data, std::uint32_t id, const spa_pod* param) {
    static_cast<PipeWireStream::Impl*>(data)->onParamChanged(id, param);
}

void onStreamProcess(void* data) { static_cast<PipeWireStream::Impl*>(data)->onProcess(); }

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = onCoreError;
    return events;
}();

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global_remove = onGlobalRemoved;
    return events;
}();

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStreamState;
    events.param_changed = onStreamParam;
    events.process = onStreamProcess;
    return events;
}();

// Holds PipeWire's loop lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

class StreamGrabber final : public FrameGrabber {
public:
    StreamGrabber(std::shared_ptr<PipeWireStream::Impl> impl, Region region, bool drawCursor)
        : impl_(std::move(impl)), region_(region), drawCursor_(drawCursor) {}

    int width() const override { return region_.width; }
    int height() const override { return region_.height; }

    bool mayHaveChanged() override {
        std::lock_guard lock(impl_->mutex);
        return impl_->ended || impl_->sequence != copied_;
    }

    void grab(ScreenFrame& frame) override {
        std::unique_lock lock(impl_->mutex);
        if (impl_->sequence == 0) {
            impl_->changed.wait_for(lock, kFirstFrameWait, [&] { return impl_->sequence > 0 || impl_->ended; });
            if (impl_->sequence == 0 && !impl_->ended) {
                throw ScreenCaptureError("The desktop sent no picture of the shared screen.");
            }
        }
        if (impl_->ended) throw ScreenCaptureError("Screen sharing ended: " + *impl_->ended + ".");
        const ScreenFrame& source = impl_->latest;
        frame.width = region_.width;
        frame.height = region_.height;
        frame.stride = region_.width * 4;
        frame.bgra.assign(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height), 0);
        const Region inside = clipped(region_, source.width, source.height);
        for (int row = 0; row < inside.height; ++row) {
            std::memcpy(frame.bgra.data() + static_cast<std::size_t>(inside.y - region_.y + row) * frame.stride +
                            static_cast<std::size_t>(inside.x - region_.x) * 4,
                        source.bgra.data() + static_cast<std::size_t>(inside.y + row) * source.stride +
                            static_cast<std::size_t>(inside.x) * 4,
                        static_cast<std::size_t>(inside.width) * 4);
        }
        frame.time = std::chrono::steady_clock::now();
        copied_ = impl_->sequence;
        impl_->copiedSequence = std::max(impl_->copiedSequence, copied_);
        if (drawCursor_) drawCursor(frame);
    }

private:
    // The pointer from the stream's metadata over the picture (straight alpha), when the portal
    // sends it apart from the picture.
    void drawCursor(ScreenFrame& frame) const {
        if (!impl_->cursor || impl_->cursorBitmap.empty()) return;
        const int left = static_cast<int>(impl_->cursor->x) - impl_->hotX - region_.x,
                  top = static_cast<int>(impl_->cursor->y) - impl_->hotY - region_.y;
        for (int y = 0; y < impl_->cursorHeight; ++y) {
            const int fy = top + y;
            if (fy < 0 || fy >= frame.height) continue;
            for (int x = 0; x < impl_->cursorWidth; ++x) {
                const int fx = left + x;
                if (fx < 0 || fx >= frame.width) continue;
                const auto* in =
                    impl_->cursorBitmap.data() + (static_cast<std::size_t>(y) * impl_->cursorWidth + x) * 4;
                auto* out =
                    frame.bgra.data() + static_cast<std::size_t>(fy) * frame.stride + static_cast<std::size_t>(fx) * 4;
                const int alpha = in[3];
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<std::uint8_t>((in[c] * alpha + out[c] * (255 - alpha)) / 255);
            }
        }
    }

    std::shared_ptr<PipeWireStream::Impl> impl_;
    Region region_;
    bool drawCursor_;
    std::uint64_t copied_ = 0;
};

}  // namespace

PipeWireStream::PipeWireStream(int remoteFD, std::uint32_t nodeID, int fps) : impl_(std::make_shared<Impl>()) {
    initPipeWireOnce();
    auto& impl = *impl_;
    impl.fps = fps > 0 ? fps : 60;
    impl.loop = pw_thread_loop_new("orvane.pipewire", nullptr);
    if (!impl.loop) {
        close(remoteFD);
        throw ScreenCaptureError("Could not start PipeWire.");
    }
    impl.context = pw_context_new(pw_thread_loop_get_loop(impl.loop), nullptr, 0);
    if (!impl.context || pw_thread_loop_start(impl.loop) < 0) {
        close(remoteFD);
        throw ScreenCaptureError("Could not start PipeWire.");
    }
    LoopLock lock(impl.loop);
    impl.core = pw_context_connect_fd(impl.context, remoteFD, nullptr, 0);
    if (!impl.core) throw ScreenCaptureError("Could not connect to the desktop's PipeWire.");
        // PipeWire's interface macros cast in C style.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
    pw_core_add_listener(impl.core, &impl.coreListener, &kCoreEvents, &impl);
    impl.node = nodeID;
    impl.registry = pw_core_get_registry(impl.core, PW_VERSION_REGISTRY, 0);
    if (impl.registry) pw_registry_add_listener(impl.registry, &impl.registryListener, &kRegistryEvents, &impl);
#pragma GCC diagnostic pop
    impl.stream = pw_stream_new(impl.core, "orvane-screen",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!impl.stream) throw ScreenCaptureError("Could not create a PipeWire stream.");
    pw_stream_add_listener(impl.stream, &impl.streamListener, &kStreamEvents, &impl);

    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction defaultRate{static_cast<std::uint32_t>(impl.fps), 1}, minRate{0, 1}, maxRate{1000, 1};
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)))};
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(impl.stream, PW_DIRECTION_INPUT, nodeID, flags, params, 1) < 0) {
        throw ScreenCaptureError("Could not connect to the shared screen's PipeWire stream.");
    }
}

PipeWireStream::~PipeWireStream() {
    auto& impl = *impl_;
    if (impl.loop) pw_thread_loop_stop(impl.loop);
    if (impl.stream) pw_stream_destroy(impl.stream);
    if (impl.registry) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(impl.registry));
    if (impl.core) pw_core_disconnect(impl.core);
    if (impl.context) pw_context_destroy(impl.context);
    if (impl.loop) pw_thread_loop_destroy(impl.loop);
    // A grabber may outlive the stream; it then reports the end instead of touching PipeWire.
    impl.end("the screen cast was closed");
}

std::optional<Size> PipeWireStream::waitForFormat(std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait_for(lock, timeout, [&] { return impl_->size || impl_->ended; });
    if (impl_->ended && !impl_->size) throw ScreenCaptureError("Screen sharing ended: " + *impl_->ended + ".");
    return impl_->size;
}

std::unique_ptr<FrameGrabber> PipeWireStream::grabber(const Rect& region, bool drawCursor) {
    const Region r{static_cast<int>(region.x), static_cast<int>(region.y), static_cast<int>(region.width),
                   static_cast<int>(region.height)};
    if (r.width <= 0 || r.height <= 0) throw ScreenCaptureError("The capture area is empty.");
    return std::make_unique<StreamGrabber>(impl_, r, drawCursor);
}

std::optional<PointerLocation> PipeWireStream::cursor() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->cursor;
}

std::uint64_t PipeWireStream::receivedFrames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->sequence;
}

std::uint64_t PipeWireStream::supersededFrames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->superseded;
}

}  // namespace orvane
