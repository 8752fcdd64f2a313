#include "cli/toast_printer.h"

#include <cstdio>
#include <string>

#include "base/text.h"

namespace orvane::cli {

ToastPrinter::ToastPrinter(ToastCenter& toasts) {
    subscription_ = toasts.observe([this](const std::vector<Toast>& shown) {
        for (const auto& toast : shown) {
            if (!printed_.insert(toast.id).second) continue;
            std::string line = std::string(toastLevelName(toast.level)) + ": " + toast.title;
            if (toast.detail) line += " \xE2\x80\x94 " + *toast.detail;
            std::fprintf(stderr, "%s\n", terminalSafeText(line).c_str());
        }
    });
}

}  // namespace orvane::cli
