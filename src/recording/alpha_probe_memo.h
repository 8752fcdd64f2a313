#pragma once

#include <filesystem>
#include <functional>

#include "recording/screen_movie_writer.h"

namespace orvane {

// Whether a recording at `fps` can keep its alpha channel on this machine: runs `probe` (normally
// probeAlphaWriter) once and keeps the answer in `memoFile`, since the probe takes most of a second
// of every core before a display recording starts and its answer changes only with the encoder
// library, the processor or the frame rate. A near miss (at least half the rate needed, but not
// all of it) is not kept: a busy moment may have caused it. A memo that cannot be read or written
// only means probing again.
bool alphaWriterUsable(const std::filesystem::path& memoFile, int fps, const std::function<AlphaProbeResult()>& probe);

}  // namespace orvane
