#include "base/thread_name.h"

#include <pthread.h>

#include <string>

namespace orvane {

void setCurrentThreadName(std::string_view name) {
    const std::string shortened(name.substr(0, 15));
    ::pthread_setname_np(::pthread_self(), shortened.c_str());
}

}  // namespace orvane
