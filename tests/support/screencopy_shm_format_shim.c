/* Loaded with LD_PRELOAD into the wlroots screen-cast backend of a headless test session only.
 *
 * Some backend releases start a cast only once a compositor's screencopy frame has announced a
 * DMA-BUF format, which a compositor without a DRM device (the headless test desktop) never does.
 * This wraps the frame's listener and, when `buffer_done` arrives without a `linux_dmabuf` event,
 * announces XRGB8888 at the shared-memory buffer's size first. The backend then finds no DMA-BUF
 * modifiers and negotiates shared-memory buffers with PipeWire, as with any shm-only compositor. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>
#include <wayland-client-core.h>

#define DRM_FORMAT_XRGB8888 0x34325258u
#define MAX_FRAMES 16

/* zwlr_screencopy_frame_v1's events, version 3, in protocol order. */
struct frame_listener {
    void (*buffer)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*flags)(void*, struct wl_proxy*, uint32_t);
    void (*ready)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*failed)(void*, struct wl_proxy*);
    void (*damage)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linux_dmabuf)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*buffer_done)(void*, struct wl_proxy*);
};

struct frame_state {
    struct wl_proxy* proxy;
    const struct frame_listener* original;
    uint32_t width, height;
    int dmabuf_seen;
};

/* The backend dispatches its Wayland events on one thread, and keeps few frames alive at once. */
static struct frame_state frames[MAX_FRAMES];
static unsigned next_slot;

static struct frame_state* state_of(struct wl_proxy* proxy) {
    for (unsigned i = 0; i < MAX_FRAMES; ++i) {
        if (frames[i].proxy == proxy) return &frames[i];
    }
    return NULL;
}

static void on_buffer(void* data, struct wl_proxy* p, uint32_t format, uint32_t w, uint32_t h, uint32_t stride) {
    struct frame_state* s = state_of(p);
    s->width = w;
    s->height = h;
    s->dmabuf_seen = 0;
    if (s->original->buffer) s->original->buffer(data, p, format, w, h, stride);
}
static void on_flags(void* data, struct wl_proxy* p, uint32_t flags) {
    struct frame_state* s = state_of(p);
    if (s->original->flags) s->original->flags(data, p, flags);
}
static void on_ready(void* data, struct wl_proxy* p, uint32_t hi, uint32_t lo, uint32_t ns) {
    struct frame_state* s = state_of(p);
    if (s->original->ready) s->original->ready(data, p, hi, lo, ns);
}
static void on_failed(void* data, struct wl_proxy* p) {
    struct frame_state* s = state_of(p);
    if (s->original->failed) s->original->failed(data, p);
}
static void on_damage(void* data, struct wl_proxy* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    struct frame_state* s = state_of(p);
    if (s->original->damage) s->original->damage(data, p, x, y, w, h);
}
static void on_linux_dmabuf(void* data, struct wl_proxy* p, uint32_t format, uint32_t w, uint32_t h) {
    struct frame_state* s = state_of(p);
    s->dmabuf_seen = 1;
    if (s->original->linux_dmabuf) s->original->linux_dmabuf(data, p, format, w, h);
}
static void on_buffer_done(void* data, struct wl_proxy* p) {
    struct frame_state* s = state_of(p);
    if (!s->dmabuf_seen && s->original->linux_dmabuf && s->width > 0) {
        s->original->linux_dmabuf(data, p, DRM_FORMAT_XRGB8888, s->width, s->height);
    }
    if (s->original->buffer_done) s->original->buffer_done(data, p);
}

static const struct frame_listener wrapper = {on_buffer, on_flags,        on_ready,      on_failed,
                                              on_damage, on_linux_dmabuf, on_buffer_done};

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    static int (*real)(struct wl_proxy*, void (**)(void), void*);
    if (!real) real = (int (*)(struct wl_proxy*, void (**)(void), void*))dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") != 0) return real(proxy, implementation, data);
    struct frame_state* s = state_of(proxy);
    if (!s) {
        s = &frames[next_slot];
        next_slot = (next_slot + 1) % MAX_FRAMES;
    }
    memset(s, 0, sizeof(*s));
    s->proxy = proxy;
    s->original = (const struct frame_listener*)implementation;
    return real(proxy, (void (**)(void)) & wrapper, data);
}
