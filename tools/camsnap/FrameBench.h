// camsnap bench: the per-frame cost of the camera's capture and draft stretch beside the
// platform floor (screen copy into a compatible bitmap plus one copy of its pixels) and
// GDI's StretchBlt into a DIB with HALFTONE and with COLORONCOLOR.
#pragma once

namespace camsnap {

// Prints one JSON line per method and size (median and mean milliseconds per frame), then one
// summary line per output size with the medians and ratios side by side.
int RunFrameBench(int frames);

// Median milliseconds of a bare screen read (the whole screen into a DIB section that already
// exists), over the given number of reads: what bounds any capture's frame rate.
double BareScreenReadMs(int reads);

}  // namespace camsnap
