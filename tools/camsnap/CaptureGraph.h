// Capture graphs built with the capture graph builder around one source filter.
#pragma once

#include "FrameSink.h"

#include <string>

namespace camsnap {

struct VideoFormat {
  long Width = 0, Height = 0;  // Height as the format gives it: positive is bottom-up
  int BitCount = 0;
  int64_t AvgTimePerFrame = 0;
  GUID Subtype{};
};

struct RunStats {
  double ElapsedMs = 0;  // from Run to Stop returning
  double CpuMs = 0;      // user plus kernel time of the process over the same span
  long EventCode = 0;    // first graph event that ended the run early, else 0
};

// Source -> sample grabber (RGB32 video) -> null renderer. Runs until the sink has its frames
// or durationMs have passed. Without keepClock the graph runs unclocked, so the renderer
// never holds samples back and arrival times show the source's own pacing.
// The grabber asks for the given video subtype (RGB32 unless told otherwise).
HRESULT RunGrabGraph(IBaseFilter* source, TFrameSink& sink, DWORD durationMs, bool keepClock,
                     VideoFormat& format, RunStats& stats, std::string& step,
                     const GUID& subtype = MEDIASUBTYPE_RGB32);

// Sets the source's capture format, as a capture application does before it connects, to its
// first capability of the given subtype (the camera offers its configured size first).
// VFW_E_NOT_FOUND when it has none.
HRESULT ChooseCaptureFormat(IBaseFilter* source, const GUID& subtype, std::string& step);

// Source -> AVI mux -> camsnap's file stream sink (FileStreamSink.h) for durationMs.
HRESULT RunAviGraph(IBaseFilter* source, const std::wstring& path, DWORD durationMs,
                    RunStats& stats, std::string& step);

}  // namespace camsnap
