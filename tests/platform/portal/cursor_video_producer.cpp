#include "platform/portal/cursor_video_producer.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

// PipeWire's interface macros cast in C style.
#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace orvane::testing {

namespace {

constexpr std::size_t cursorMetaSize(int width, int height) {
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + static_cast<std::size_t>(width * height * 4);
}

}  // namespace

struct CursorVideoProducer::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    int width = 0, height = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::uint32_t> node;
    bool streaming = false;

    void onState(pw_stream_state state) {
        std::lock_guard lock(mutex);
        if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) {
            const std::uint32_t id = pw_stream_get_node_id(stream);
            if (id != SPA_ID_INVALID) node = id;
        }
        streaming = state == PW_STREAM_STATE_STREAMING;
        changed.notify_all();
    }

    // Offers buffers with room for the header and a pointer, in the ranges desktops offer them.
    void onParam(std::uint32_t id, const spa_pod* param) {
        if (id != SPA_PARAM_Format || !param) return;
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const int stride = width * 4;
        const spa_pod* params[3];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
            SPA_POD_Int(stride * height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(static_cast<int>(cursorMetaSize(64, 64)), static_cast<int>(cursorMetaSize(1, 1)),
                                     static_cast<int>(cursorMetaSize(256, 256)))));
        pw_stream_update_params(stream, params, 3);
    }
};

namespace {

const pw_stream_events kEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
        static_cast<CursorVideoProducer::Impl*>(data)->onState(state);
    };
    events.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
        static_cast<CursorVideoProducer::Impl*>(data)->onParam(id, param);
    };
    return events;
}();

class Locked {
public:
    explicit Locked(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~Locked() { pw_thread_loop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pw_thread_loop* loop_;
};

}  // namespace

CursorVideoProducer::CursorVideoProducer(FileDescriptor connection, int width, int height)
    : impl_(std::make_unique<Impl>()) {
    pw_init(nullptr, nullptr);
    impl_->width = width;
    impl_->height = height;
    impl_->loop = pw_thread_loop_new("test.producer", nullptr);
    impl_->context = pw_context_new(pw_thread_loop_get_loop(impl_->loop), nullptr, 0);
    if (!impl_->context || pw_thread_loop_start(impl_->loop) < 0) throw std::runtime_error("no PipeWire loop");
    Locked lock(impl_->loop);
    impl_->core = pw_context_connect_fd(impl_->context, dup(connection.get()), nullptr, 0);
    if (!impl_->core) throw std::runtime_error("no PipeWire connection");
    impl_->stream =
        pw_stream_new(impl_->core, "orvane-test-screen",
                      pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    pw_stream_add_listener(impl_->stream, &impl_->listener, &kEvents, impl_.get());

    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle size{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    spa_fraction still{0, 1}, rate{30, 1}, slowest{1, 1}, fastest{60, 1};
    // A variable rate like a compositor's: a picture whenever something changed, at most 60 a second.
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&still), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)))};
    // PipeWire allocates the shared memory and maps it for us.
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(impl_->stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0) {
        throw std::runtime_error("the test stream did not connect");
    }
}

CursorVideoProducer::~CursorVideoProducer() {
    if (impl_->loop) pw_thread_loop_stop(impl_->loop);
    if (impl_->stream) pw_stream_destroy(impl_->stream);
    if (impl_->core) pw_core_disconnect(impl_->core);
    if (impl_->context) pw_context_destroy(impl_->context);
    if (impl_->loop) pw_thread_loop_destroy(impl_->loop);
}

std::optional<std::uint32_t> CursorVideoProducer::waitForNode() {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait_for(lock, std::chrono::seconds(10), [&] { return impl_->node.has_value(); });
    return impl_->node;
}

bool CursorVideoProducer::waitForStreaming() {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::seconds(10), [&] { return impl_->streaming; });
}

bool CursorVideoProducer::publish(const Picture& picture) {
    Locked lock(impl_->loop);
    pw_buffer* buffer = pw_stream_dequeue_buffer(impl_->stream);
    if (!buffer) return false;
    spa_buffer* spa = buffer->buffer;
    if (auto* cursor =
            static_cast<spa_meta_cursor*>(spa_buffer_find_meta_data(spa, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        cursor->id = picture.pointerValid ? 1 : 0;
        cursor->flags = 0;
        cursor->position.x = picture.pointerX;
        cursor->position.y = picture.pointerY;
        cursor->hotspot.x = 0;
        cursor->hotspot.y = 0;
        cursor->bitmap_offset = 0;  // the position only; no new pointer picture
    }
    if (auto* header =
            static_cast<spa_meta_header*>(spa_buffer_find_meta_data(spa, SPA_META_Header, sizeof(spa_meta_header)))) {
        std::memset(header, 0, sizeof *header);
    }
    spa_data& data = spa->datas[0];
    const int stride = impl_->width * 4;
    const auto size = static_cast<std::uint32_t>(stride * impl_->height);
    if (picture.withPixels && data.data && data.maxsize >= size) {
        std::memset(data.data, picture.shade, size);
        data.chunk->offset = 0;
        data.chunk->stride = stride;
        data.chunk->size = size;
    } else {
        if (picture.withPixels) std::fprintf(stderr, "producer: buffer of %u bytes, %u needed\n", data.maxsize, size);
        data.chunk->size = 0;
    }
    pw_stream_queue_buffer(impl_->stream, buffer);
    // A driving stream starts a cycle of the graph itself, so the consumer gets the buffer now.
    pw_stream_trigger_process(impl_->stream);
    return true;
}

}  // namespace orvane::testing
