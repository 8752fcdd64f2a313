#include "app/input_group_notice.h"

#include <exception>

#include "app/preferences.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/toast_center.h"

namespace orvane::app {

void showInputGroupNoticeOnce(Preferences& preferences, ToastCenter& toasts) {
    if (preferences.inputGroupNoticeShown()) return;
    toasts.post(ToastLevel::warning, kInputGroupNoticeTitle, std::string(kInputGroupNoticeDetail), {}, true);
    // The recording goes on whatever happens here; a notice that could not be stored as shown comes
    // back next time, which is better than never.
    try {
        preferences.setInputGroupNoticeShown(true);
    } catch (const std::exception& e) {
        log::warning(log_area::kApp, "the input-group notice could not be marked as shown: %s", e.what());
    }
}

}  // namespace orvane::app
