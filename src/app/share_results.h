#pragma once

#include "base/uuid.h"
#include "export/share_client.h"
#include "model/recording_meta.h"

namespace orvane {
class RecordingLibrary;
}

namespace orvane::app {

// Remembers a finished share in the recording's meta.json, so the share can be revised and its
// remote edits followed later. Only hosted shares carry what is kept (token, video id, backend).
// Read fresh and written atomically: a failure throws and leaves the previous meta.json as it was.
RecordingMeta storeShareResult(RecordingLibrary& library, const Uuid& id, const ShareResult& result);

}  // namespace orvane::app
