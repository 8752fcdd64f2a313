// A remote edit record, as `orvane edit --apply FILE` reads it: JSON text, the record, the rules that
// apply it to the edit, and the sidecar.json the editor then saves. The saved file must open again as
// the same edit, or the remote change would cost the user the edit.

#include "editor/remote_edit_apply.h"
#include "editor/remote_edit_json.h"
#include "fuzz/fuzz_support.h"
#include "model/project_sidecar.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string problem;
    const auto edits = videoEditsOutFromText(fuzz::text(data, size), "v_1", &problem);
    if (!edits) {
        fuzz::require(!problem.empty(), "a remote edit record refused without a reason");
        return 0;
    }

    Edit edit;
    applyRemoteEdits(*edits, edit);
    const std::filesystem::path folder = "/recordings/0b7e3c1a-9f2d-4c55-8a10-3e5f6a7b8c9d";
    // Compared as saved text: ids of timeline items are made afresh on every read and never saved.
    const auto savedText = encodeProjectSidecar(makeProjectSidecar(edit, folder / "screen.mp4", std::nullopt));
    const auto reread = decodeProjectSidecar(savedText, folder);
    fuzz::require(reread.has_value(), "an edit with a remote change applied does not decode once saved");
    Edit reopened;
    applyProjectSidecar(*reread, reopened);
    const auto resaved = encodeProjectSidecar(makeProjectSidecar(reopened, folder / "screen.mp4", std::nullopt));
    fuzz::require(resaved == savedText, "an edit with a remote change applied opens differently once saved");
    return 0;
}
