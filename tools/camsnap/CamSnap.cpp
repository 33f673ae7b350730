// camsnap: lists the video input devices and captures from one of them through a DirectShow
// graph, to BMP frames with a JSON line per frame, or to an AVI file.
//
//   camsnap list
//   camsnap grab [--device NAME] [--frames N] [--seconds S] [--out DIR] [--keep N] [--raw] [--clock]
//   camsnap avi  [--device NAME] --out FILE.avi [--seconds S]
//   camsnap rate [--device NAME] --seconds S [--fps N] [--width W] [--height H] [--format F] [--clock]
//     (F: RGB32, YUY2, NV12, I420 or RGB24; the camera's first capability of that format)
//   camsnap bench [--frames N]   (capture and scaling cost per frame, no device needed)
//
// Exit codes: 0 done, 2 bad arguments, 3 no such device, 4 the graph failed, 5 files not written.
#include "CaptureGraph.h"
#include "DeviceList.h"
#include "FrameFiles.h"
#include "FrameBench.h"
#include "RateBench.h"

#include <objbase.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace camsnap;

namespace {

struct Options {
  std::string Command;
  std::wstring Device = L"MurmellaScreenSharing";
  std::wstring Out;
  size_t Frames = 0;
  double Seconds = 0;
  size_t Keep = 0;
  size_t Fps = 0, Width = 0, Height = 0;  // 0: as the camera's settings say
  std::string Format;                       // empty: whatever the graph agrees on
  bool KeepGiven = false;
  bool Raw = false;
  bool Clock = false;
};

int Usage(const char* why) {
  fprintf(stderr,
          "camsnap: %s\n"
          "usage: camsnap list\n"
          "       camsnap grab [--device NAME] [--frames N] [--seconds S] [--out DIR] [--keep N] [--raw] [--clock]\n"
          "       camsnap avi  [--device NAME] --out FILE.avi [--seconds S]\n"
          "       camsnap rate [--device NAME] --seconds S [--fps N] [--width W] [--height H] [--format F] [--clock]\n"
          "       camsnap bench [--frames N]\n",
          why);
  return 2;
}

std::string JsonString(const std::wstring& text) {
  std::string s = Utf8(text), out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

void Fail(const char* what, const std::string& step, HRESULT hr) {
  fprintf(stderr, "camsnap: %s failed at %s: 0x%08lX\n", what, step.c_str(), static_cast<unsigned long>(hr));
}

bool ParseCount(const char* s, size_t& out) {
  char* end = nullptr;
  unsigned long long v = strtoull(s, &end, 10);
  if (!*s || *end || s[0] == '-') return false;
  out = size_t(v);
  return true;
}

const GUID* SubtypeNamed(const std::string& name) {
  // The FOURCC 'I420' subtype; the SDK names only its twin 'IYUV'.
  static constexpr GUID kI420 = {0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  static const std::pair<const char*, const GUID*> kNames[] = {{"RGB32", &MEDIASUBTYPE_RGB32},
                                                               {"YUY2", &MEDIASUBTYPE_YUY2},
                                                               {"NV12", &MEDIASUBTYPE_NV12},
                                                               {"I420", &kI420},
                                                               {"RGB24", &MEDIASUBTYPE_RGB24}};
  for (const auto& [n, g] : kNames)
    if (name == n) return g;
  return nullptr;
}

bool Parse(int argc, wchar_t** argv, Options& o, std::string& why) {
  if (argc < 2) {
    why = "no command";
    return false;
  }
  o.Command = Utf8(argv[1]);
  for (int i = 2; i < argc; ++i) {
    std::wstring a = argv[i];
    auto value = [&]() -> const wchar_t* {
      if (i + 1 >= argc) return nullptr;
      return argv[++i];
    };
    if (a == L"--raw") {
      o.Raw = true;
    } else if (a == L"--clock") {
      o.Clock = true;
    } else if (a == L"--format") {
      const wchar_t* v = value();
      o.Format = v ? Utf8(v) : "";
      if (!SubtypeNamed(o.Format)) {
        why = "bad format " + o.Format + " (RGB32, YUY2, NV12, I420 or RGB24)";
        return false;
      }
    } else if (a == L"--device" || a == L"--out" || a == L"--frames" || a == L"--seconds" || a == L"--keep" ||
               a == L"--fps" || a == L"--width" || a == L"--height") {
      const wchar_t* v = value();
      if (!v) {
        why = "missing value for " + Utf8(a);
        return false;
      }
      std::string sv = Utf8(v);
      if (a == L"--device") {
        o.Device = v;
      } else if (a == L"--out") {
        o.Out = v;
      } else if (a == L"--frames") {
        if (!ParseCount(sv.c_str(), o.Frames)) {
          why = "bad frame count " + sv;
          return false;
        }
      } else if (a == L"--keep") {
        if (!ParseCount(sv.c_str(), o.Keep)) {
          why = "bad keep count " + sv;
          return false;
        }
        o.KeepGiven = true;
      } else if (a != L"--seconds") {
        size_t& n = a == L"--fps" ? o.Fps : a == L"--width" ? o.Width : o.Height;
        // The camera's fastest rate; for sizes a bound far past any screen.
        const size_t most = a == L"--fps" ? 60 : 16384;
        if (!ParseCount(sv.c_str(), n) || n == 0 || n > most) {
          why = "bad value for " + Utf8(a) + ": " + sv;
          return false;
        }
      } else {
        char* end = nullptr;
        o.Seconds = strtod(sv.c_str(), &end);
        if (sv.empty() || *end || !(o.Seconds > 0) || o.Seconds > 86400) {
          why = "bad duration " + sv;
          return false;
        }
      }
    } else {
      why = "unknown argument " + Utf8(a);
      return false;
    }
  }
  return true;
}

int List() {
  std::vector<VideoDevice> devices;
  HRESULT hr = ListVideoDevices(devices);
  if (FAILED(hr)) {
    Fail("listing video input devices", "the system device enumerator", hr);
    return 4;
  }
  for (const auto& d : devices)
    printf("{\"name\":%s,\"clsid\":%s}\n", JsonString(d.FriendlyName).c_str(), JsonString(d.ClassId).c_str());
  return 0;
}

int Bind(const Options& o, ComPtr<IBaseFilter>& source) {
  HRESULT hr = BindVideoDevice(o.Device, source);
  if (hr == VFW_E_NOT_FOUND) {
    fprintf(stderr, "camsnap: no video input device named \"%s\"\n", Utf8(o.Device).c_str());
    return 3;
  }
  if (FAILED(hr)) {
    Fail("opening the device", "binding its moniker", hr);
    return 4;
  }
  return 0;
}

int Grab(const Options& o) {
  if (!o.Frames && !o.Seconds) return Usage("grab needs --frames or --seconds");
  ComPtr<IBaseFilter> source;
  if (int rc = Bind(o, source)) return rc;
  size_t keep = o.KeepGiven ? o.Keep : (o.Out.empty() ? 0 : (o.Frames ? o.Frames : 100));
  TFrameSink sink(keep, o.Frames);
  // With a frame count only, a generous bound still keeps a stalled source from hanging us.
  DWORD ms = o.Seconds ? DWORD(o.Seconds * 1000) : DWORD(std::min<size_t>(o.Frames, 100000) * 10000 + 5000);
  VideoFormat format;
  RunStats stats;
  std::string step;
  HRESULT hr = RunGrabGraph(source.Get(), sink, ms, o.Clock, format, stats, step);
  if (FAILED(hr)) {
    Fail("capturing", step, hr);
    return 4;
  }
  std::vector<Frame> frames = sink.TakeFrames();
  int rc = 0;
  FILE* json = stdout;
  if (!o.Out.empty()) {
    CreateDirectoryW(o.Out.c_str(), nullptr);
    json = _wfopen((o.Out + L"\\frames.jsonl").c_str(), L"w");
    if (!json) {
      fprintf(stderr, "camsnap: cannot write into %s\n", Utf8(o.Out).c_str());
      return 5;
    }
  }
  std::vector<int64_t> lateness;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    WriteFrameJson(json, i, f);
    if (f.HasTime) lateness.push_back(f.ArrivalMicros - f.Start / 10);
    if (!o.Out.empty() && !f.Bytes.empty()) {
      wchar_t name[32];
      swprintf(name, 32, L"\\frame_%04u.%ls", unsigned(i), o.Raw ? L"raw" : L"bmp");
      bool ok = o.Raw ? WriteRaw(o.Out + name, f) : WriteBmp(o.Out + name, format, f);
      if (!ok) {
        fprintf(stderr, "camsnap: frame %zu not written\n", i);
        rc = 5;
      }
    }
  }
  if (json != stdout) fclose(json);
  printf("{\"summary\":true,\"frames\":%zu,\"width\":%ld,\"height\":%ld,\"bits\":%d,\"avg_time_per_frame\":%" PRId64
         ",\"elapsed_ms\":%.1f,\"cpu_ms\":%.1f,\"cpu_ms_per_frame\":%.3f,\"median_lateness_us\":%" PRId64
         ",\"event\":%ld}\n",
         frames.size(), format.Width, format.Height, format.BitCount, format.AvgTimePerFrame, stats.ElapsedMs,
         stats.CpuMs, frames.empty() ? 0.0 : stats.CpuMs / double(frames.size()), Percentile(lateness, 0.5),
         stats.EventCode);
  if (stats.EventCode == EC_ERRORABORT) {
    fprintf(stderr, "camsnap: the stream was aborted with an error\n");
    return 4;
  }
  return rc;
}

int Rate(const Options& o) {
  if (!o.Seconds) return Usage("rate needs --seconds");
  TCameraSettingsOverride settings;
  // The camera reads its settings when its pin is made, that is when the device is bound.
  if ((o.Fps && !settings.Set(L"FramesPerSecond", DWORD(o.Fps))) ||
      (o.Width && !settings.Set(L"VideoWidth", DWORD(o.Width))) ||
      (o.Height && !settings.Set(L"VideoHeight", DWORD(o.Height))) ||
      (!o.Format.empty() && !settings.Set(L"SingleFormat", 0))) {
    fprintf(stderr, "camsnap: the camera's settings could not be written\n");
    return 4;
  }
  ComPtr<IBaseFilter> source;
  if (int rc = Bind(o, source)) return rc;
  GUID subtype = MEDIASUBTYPE_RGB32;
  std::string step;
  if (!o.Format.empty()) {
    subtype = *SubtypeNamed(o.Format);
    HRESULT hr = ChooseCaptureFormat(source.Get(), subtype, step);
    if (FAILED(hr)) {
      Fail("choosing the format", step, hr);
      return 4;
    }
  }
  // What the platform allows at most: bare screen reads a second, beside the camera's rate.
  const double readMs = BareScreenReadMs(30);
  TFrameSink sink(0, 0);
  VideoFormat format;
  RunStats stats;
  HRESULT hr = RunGrabGraph(source.Get(), sink, DWORD(o.Seconds * 1000), o.Clock, format, stats, step, subtype);
  source.Reset();
  if (FAILED(hr)) {
    Fail("streaming", step, hr);
    return 4;
  }
  const std::vector<Frame> frames = sink.TakeFrames();
  const int64_t duration = format.AvgTimePerFrame;
  const ScheduleStats s = MeasureSchedule(frames, duration);
  const double scheduled = duration > 0 ? o.Seconds * 1e7 / double(duration) : 0;
  printf("{\"device\":%s,\"format\":\"%s\",\"width\":%ld,\"height\":%ld,\"fps\":%.3f,\"seconds\":%.3f,\"clock\":%s,"
         "\"frames\":%zu,\"scheduled\":%.1f,\"delivered_ratio\":%.3f,\"first_frame_us\":%" PRId64
         ",\"median_lateness_us\":%" PRId64 ",\"p90_lateness_us\":%" PRId64 ",\"max_lateness_us\":%" PRId64
         ",\"drift_us\":%" PRId64 ",\"bare_screen_read_ms\":%.3f,\"ceiling_fps\":%.1f"
         ",\"elapsed_ms\":%.1f,\"cpu_ms\":%.1f,\"cpu_ms_per_frame\":%.3f,\"event\":%ld}\n",
         JsonString(o.Device).c_str(), o.Format.empty() ? "RGB32" : o.Format.c_str(), format.Width, format.Height, duration > 0 ? 1e7 / double(duration) : 0.0,
         o.Seconds, o.Clock ? "true" : "false", frames.size(), scheduled,
         scheduled > 0 ? double(frames.size()) / scheduled : 0.0, s.FirstFrameUs, s.MedianLatenessUs,
         s.P90LatenessUs, s.MaxLatenessUs, s.DriftUs, readMs, readMs > 0 ? 1000.0 / readMs : 0.0, stats.ElapsedMs,
         stats.CpuMs,
         frames.empty() ? 0.0 : stats.CpuMs / double(frames.size()), stats.EventCode);
  return stats.EventCode == EC_ERRORABORT ? 4 : 0;
}

int Avi(const Options& o) {
  if (o.Out.empty()) return Usage("avi needs --out FILE.avi");
  ComPtr<IBaseFilter> source;
  if (int rc = Bind(o, source)) return rc;
  RunStats stats;
  std::string step;
  HRESULT hr = RunAviGraph(source.Get(), o.Out, DWORD((o.Seconds ? o.Seconds : 3) * 1000), stats, step);
  if (FAILED(hr)) {
    Fail("recording", step, hr);
    return 4;
  }
  WIN32_FILE_ATTRIBUTE_DATA a{};
  if (!GetFileAttributesExW(o.Out.c_str(), GetFileExInfoStandard, &a) || (!a.nFileSizeLow && !a.nFileSizeHigh)) {
    fprintf(stderr, "camsnap: %s was not written\n", Utf8(o.Out).c_str());
    return 5;
  }
  printf("{\"summary\":true,\"file\":%s,\"bytes\":%" PRIu64 ",\"elapsed_ms\":%.1f}\n", JsonString(o.Out).c_str(),
         (uint64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow, stats.ElapsedMs);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o;
  std::string why;
  if (!Parse(argc, argv, o, why)) return Usage(why.c_str());
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    fprintf(stderr, "camsnap: COM could not be initialised\n");
    return 4;
  }
  int rc;
  if (o.Command == "list") rc = List();
  else if (o.Command == "grab") rc = Grab(o);
  else if (o.Command == "avi") rc = Avi(o);
  else if (o.Command == "rate") rc = Rate(o);
  else if (o.Command == "bench") rc = RunFrameBench(o.Frames ? int(std::min<size_t>(o.Frames, 10000)) : 50);
  else rc = Usage(("unknown command " + o.Command).c_str());
  CoUninitialize();
  fflush(stdout);
  return rc;
}
