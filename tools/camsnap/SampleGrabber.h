// The sample grabber and null renderer of the platform's editing services. MinGW's qedit.h
// carries the grabber's interfaces but not the class identifiers, so those are written here
// from their published values.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

namespace camsnap {

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline constexpr GUID kClsidSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline constexpr GUID kClsidNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

}  // namespace camsnap
