// camsnap bench: the per-frame cost of the camera's capture and draft stretch beside the
// platform floor (screen copy into a compatible bitmap plus one copy of its pixels) and
// GDI's StretchBlt into a DIB with HALFTONE and with COLORONCOLOR.
#pragma once

namespace camsnap {

// Prints one JSON line per method and size: median and mean milliseconds per frame.
int RunFrameBench(int frames);

}  // namespace camsnap
