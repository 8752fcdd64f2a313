#include "platform/pulse/pulse_connection.h"

#include "platform/audio_system.h"

namespace orvane::pulse {

namespace {

void onContextState(pa_context*, void* userdata) {
    static_cast<Connection*>(userdata)->signal();
}

}  // namespace

Connection::Connection(const std::string& clientName) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) throw AudioSystemError("Couldn't create the sound server main loop");
    pa_threaded_mainloop_set_name(loop_, "orvane-pulse");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName.c_str());
    if (!context_) {
        pa_threaded_mainloop_free(loop_);
        throw AudioSystemError("Couldn't create a sound server context");
    }
    pa_context_set_state_callback(context_, onContextState, this);
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_context_unref(context_);
        pa_threaded_mainloop_free(loop_);
        throw AudioSystemError("Couldn't start the sound server main loop");
    }

    std::string failure;
    {
        MainloopLock lock(loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            failure = lastErrorText();
        } else {
            for (;;) {
                const auto state = pa_context_get_state(context_);
                if (state == PA_CONTEXT_READY) break;
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    failure = lastErrorText();
                    break;
                }
                wait();
            }
        }
    }
    if (!failure.empty()) {
        release();
        throw AudioSystemError("Couldn't connect to the sound server: " + failure);
    }
}

Connection::~Connection() { release(); }

void Connection::release() {
    if (!loop_) return;
    {
        MainloopLock lock(loop_);
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

std::string Connection::lastErrorText() const { return pa_strerror(pa_context_errno(context_)); }

bool Connection::contextAlive() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

bool Connection::await(pa_operation* operation) {
    if (!operation) return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        if (!contextAlive()) break;
        wait();
    }
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done;
}

}  // namespace orvane::pulse
