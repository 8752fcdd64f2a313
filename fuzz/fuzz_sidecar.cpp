// sidecar.json: the saved edit, read when the editor opens a recording. What it reads is applied to
// the edit and saved again by the next autosave, so that save must read back to the same edit.

#include "fuzz/fuzz_support.h"
#include "model/project_sidecar.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path folder = "/recordings/0b7e3c1a-9f2d-4c55-8a10-3e5f6a7b8c9d";
    const auto sidecar = decodeProjectSidecar(fuzz::text(data, size), folder);
    if (!sidecar) return 0;

    Edit edit;
    applyProjectSidecar(*sidecar, edit);
    // Compared as saved text: ids of timeline items are made afresh on every read and never saved.
    const auto savedText = encodeProjectSidecar(makeProjectSidecar(edit, folder / "screen.mp4", std::nullopt));
    const auto reread = decodeProjectSidecar(savedText, folder);
    fuzz::require(reread.has_value(), "an applied sidecar.json does not decode once saved again");
    Edit reopened;
    applyProjectSidecar(*reread, reopened);
    const auto resaved = encodeProjectSidecar(makeProjectSidecar(reopened, folder / "screen.mp4", std::nullopt));
    fuzz::require(resaved == savedText, "an applied sidecar.json opens as a different edit once saved again");
    return 0;
}
