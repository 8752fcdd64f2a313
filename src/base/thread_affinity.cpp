#include "base/thread_affinity.h"

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

#include "base/log_areas.h"

namespace orvane {

void ThreadAffinity::failed(const char* function, const char* file, int line) {
    std::fprintf(stderr, "[%.*s] %s (%s:%d) ran off the thread that owns its object\n",
                 static_cast<int>(log_area::kThreads.size()), log_area::kThreads.data(), function, file, line);
    std::abort();
}

}  // namespace orvane
#endif
