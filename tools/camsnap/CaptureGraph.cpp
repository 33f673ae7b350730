#include "CaptureGraph.h"

#include "FileStreamSink.h"

#include <wrl/client.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace camsnap {

namespace {

double CpuMillis() {
  FILETIME c, e, k, u;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
  auto v = [](const FILETIME& f) { return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return double(v(k) + v(u)) / 10000.0;
}

double NowMillis() {
  LARGE_INTEGER f, n;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&n);
  return double(n.QuadPart) * 1000.0 / double(f.QuadPart);
}

#define CHECK(expr, name)        \
  do {                           \
    hr = (expr);                 \
    if (FAILED(hr)) {            \
      step = name;               \
      return hr;                 \
    }                            \
  } while (0)

struct Graph {
  ComPtr<IGraphBuilder> Builder;
  ComPtr<ICaptureGraphBuilder2> Capture;
  ComPtr<IMediaControl> Control;
  ComPtr<IMediaEvent> Events;
};

HRESULT MakeGraph(IBaseFilter* source, Graph& g, std::string& step) {
  HRESULT hr;
  CHECK(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&g.Builder)),
        "create filter graph");
  CHECK(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(&g.Capture)),
        "create capture graph builder");
  CHECK(g.Capture->SetFiltergraph(g.Builder.Get()), "ICaptureGraphBuilder2::SetFiltergraph");
  CHECK(g.Builder->AddFilter(source, L"Camera"), "add camera filter");
  CHECK(g.Builder.As(&g.Control), "IMediaControl");
  CHECK(g.Builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(g.Events.ReleaseAndGetAddressOf())), "IMediaEvent");
  return S_OK;
}

// Runs the graph until ready is signalled or durationMs pass; a graph event (an error abort,
// a completion) also ends the run. A source given as stopFirst is stopped before the graph,
// for filters downstream that must see no sample after their own Stop.
HRESULT RunFor(Graph& g, HANDLE ready, DWORD durationMs, TFrameSink* sink, RunStats& stats,
               std::string& step, IBaseFilter* stopFirst = nullptr) {
  HRESULT hr;
  double cpu0 = CpuMillis(), t0 = NowMillis();
  if (sink) sink->StartClock();
  hr = g.Control->Run();
  if (FAILED(hr)) {
    step = "IMediaControl::Run";
    g.Control->Stop();
    return hr;
  }
  HANDLE eventHandle = nullptr;
  g.Events->GetEventHandle(reinterpret_cast<OAEVENT*>(&eventHandle));
  for (;;) {
    DWORD left = DWORD(std::max(0.0, durationMs - (NowMillis() - t0)));
    HANDLE handles[2] = {eventHandle, ready};
    DWORD n = ready ? 2 : 1;
    DWORD w = eventHandle ? WaitForMultipleObjects(n, handles, FALSE, left)
                          : WaitForSingleObject(ready ? ready : GetCurrentProcess(), left);
    if (w == WAIT_OBJECT_0 && eventHandle) {
      long code = 0;
      LONG_PTR p1 = 0, p2 = 0;
      bool ended = false;
      while (g.Events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        g.Events->FreeEventParams(code, p1, p2);
        if (code == EC_ERRORABORT || code == EC_COMPLETE || code == EC_USERABORT) {
          stats.EventCode = code;
          ended = true;
        }
      }
      if (ended) break;
      continue;
    }
    break;  // ready, or the time is up
  }
  if (stopFirst) stopFirst->Stop();
  hr = g.Control->Stop();
  stats.ElapsedMs = NowMillis() - t0;
  stats.CpuMs = CpuMillis() - cpu0;
  if (FAILED(hr)) step = "IMediaControl::Stop";
  return hr;
}

}  // namespace

HRESULT ChooseCaptureFormat(IBaseFilter* source, const GUID& subtype, std::string& step) {
  HRESULT hr;
  ComPtr<ICaptureGraphBuilder2> capture;
  CHECK(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&capture)),
        "create capture graph builder");
  ComPtr<IAMStreamConfig> config;
  CHECK(capture->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, IID_IAMStreamConfig,
                               reinterpret_cast<void**>(config.GetAddressOf())),
        "find the capture pin's IAMStreamConfig");
  int count = 0, size = 0;
  CHECK(config->GetNumberOfCapabilities(&count, &size), "IAMStreamConfig::GetNumberOfCapabilities");
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    if (size > int(sizeof caps) || FAILED(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)))) continue;
    const bool match = type->subtype == subtype;
    if (match) hr = config->SetFormat(type);
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk) type->pUnk->Release();
    CoTaskMemFree(type);
    if (match) {
      if (FAILED(hr)) step = "IAMStreamConfig::SetFormat";
      return hr;
    }
  }
  step = "find a capability of the asked format";
  return VFW_E_NOT_FOUND;
}

HRESULT RunGrabGraph(IBaseFilter* source, TFrameSink& sink, DWORD durationMs, bool keepClock,
                     VideoFormat& format, RunStats& stats, std::string& step, const GUID& subtype) {
  HRESULT hr;
  Graph g;
  if (FAILED(hr = MakeGraph(source, g, step))) return hr;
  ComPtr<IBaseFilter> grabberFilter, nullRenderer;
  CHECK(CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabberFilter)),
        "create sample grabber");
  CHECK(CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&nullRenderer)),
        "create null renderer");
  ComPtr<ISampleGrabber> grabber;
  CHECK(grabberFilter.As(&grabber), "ISampleGrabber");
  AM_MEDIA_TYPE want{};
  want.majortype = MEDIATYPE_Video;
  want.subtype = subtype;
  CHECK(grabber->SetMediaType(&want), "ISampleGrabber::SetMediaType");
  CHECK(grabber->SetBufferSamples(FALSE), "ISampleGrabber::SetBufferSamples");
  CHECK(grabber->SetOneShot(FALSE), "ISampleGrabber::SetOneShot");
  CHECK(grabber->SetCallback(&sink, 0), "ISampleGrabber::SetCallback");
  CHECK(g.Builder->AddFilter(grabberFilter.Get(), L"Grabber"), "add sample grabber");
  CHECK(g.Builder->AddFilter(nullRenderer.Get(), L"Null renderer"), "add null renderer");
  CHECK(g.Capture->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, grabberFilter.Get(),
                                nullRenderer.Get()),
        "ICaptureGraphBuilder2::RenderStream");
  AM_MEDIA_TYPE got{};
  CHECK(grabber->GetConnectedMediaType(&got), "ISampleGrabber::GetConnectedMediaType");
  if (got.formattype == FORMAT_VideoInfo && got.cbFormat >= sizeof(VIDEOINFOHEADER) && got.pbFormat) {
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(got.pbFormat);
    format.Width = vih->bmiHeader.biWidth;
    format.Height = vih->bmiHeader.biHeight;
    format.BitCount = vih->bmiHeader.biBitCount;
    format.AvgTimePerFrame = vih->AvgTimePerFrame;
  }
  format.Subtype = got.subtype;
  if (got.cbFormat) CoTaskMemFree(got.pbFormat);
  if (got.pUnk) got.pUnk->Release();
  if (!keepClock) {
    ComPtr<IMediaFilter> mf;
    CHECK(g.Builder.As(&mf), "IMediaFilter");
    CHECK(mf->SetSyncSource(nullptr), "IMediaFilter::SetSyncSource");
  }
  hr = RunFor(g, sink.Done(), durationMs, &sink, stats, step);
  grabber->SetCallback(nullptr, 0);
  return hr;
}

HRESULT RunAviGraph(IBaseFilter* source, const std::wstring& path, DWORD durationMs, RunStats& stats,
                    std::string& step) {
  HRESULT hr;
  Graph g;
  if (FAILED(hr = MakeGraph(source, g, step))) return hr;
  ComPtr<IBaseFilter> mux, writer;
  CHECK(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mux)), "create AVI mux");
  // The mux writes through its downstream pin's IStream, which the platform's file writer
  // does not offer here; camsnap's own sink does.
  CHECK(CreateFileStreamSink(path, writer), "create file stream sink");
  // Wine's mux records only interleaved files; capture interleaving writes each frame as it
  // comes, which is what a live source wants anyway.
  ComPtr<IConfigInterleaving> interleaving;
  CHECK(mux.As(&interleaving), "IConfigInterleaving");
  CHECK(interleaving->put_Mode(INTERLEAVE_FULL), "IConfigInterleaving::put_Mode");
  CHECK(g.Builder->AddFilter(mux.Get(), L"AVI mux"), "add AVI mux");
  CHECK(g.Builder->AddFilter(writer.Get(), L"File writer"), "add file writer");
  CHECK(g.Capture->RenderStream(nullptr, nullptr, mux.Get(), nullptr, writer.Get()),
        "connect AVI mux to file writer");
  // Camera straight into the mux. The capture graph builder would put Wine's smart tee in
  // between, which copies each sample into a buffer of the allocator it shares with the
  // camera; the camera's allocator has one buffer, held by the tee's own input sample, so the
  // tee waits for it forever.
  ComPtr<IPin> capture, muxInput;
  CHECK(g.Capture->FindPin(source, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0, &capture),
        "find the camera's capture pin");
  CHECK(g.Capture->FindPin(mux.Get(), PINDIR_INPUT, nullptr, nullptr, TRUE, 0, &muxInput), "find an AVI mux input");
  CHECK(g.Builder->Connect(capture.Get(), muxInput.Get()), "connect the camera to the AVI mux");
  // The graph stops the mux before the camera, and Wine's mux reads freed state when a sample
  // still arrives after its Stop (it returns no error for it), so the camera stops first.
  return RunFor(g, nullptr, durationMs, nullptr, stats, step, source);
}

}  // namespace camsnap
