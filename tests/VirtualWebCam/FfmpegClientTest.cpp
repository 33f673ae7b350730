// The camera through a widely used capture client that no one here wrote: ffmpeg's DirectShow
// input, of this build's bitness. It must list the camera and every capability in offer order,
// and record what it asks for (sizes, rates and pixel formats) into NUT files, whose first
// frames are checked here against the reference conversion of a painted screen. The files
// themselves are read back by ffprobe afterwards (ProbeClips.sh), from the list written here.
#include "CameraTestSupport.h"
#include "CaptureFormats.h"
#include "YuvConvert.h"

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace vwctest;
using vwc::TPixelFormat;

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring WindowsPath(const char* path) {
  std::wstring p = Wide(path);
  for (auto& c : p)
    if (c == L'/') c = L'\\';
  return p;
}

const char* PixelFormatName(TPixelFormat f) {
  switch (f) {
    case TPixelFormat::RGB32: return "bgr0";
    case TPixelFormat::YUY2: return "yuyv422";
    case TPixelFormat::NV12: return "nv12";
    case TPixelFormat::I420: return "yuv420p";
    case TPixelFormat::RGB24: return "bgr24";
  }
  return "";
}

ProgramResult Ffmpeg(const std::wstring& args, DWORD timeoutMs = 30'000) {
  return RunProgram(L"\"" + WindowsPath(FFMPEG_EXE) + L"\" -hide_banner -nostdin " + args, timeoutMs);
}

void Configure(DWORD width, DWORD height, DWORD fps, DWORD singleFormat) {
  ClearKey();
  PutDword(L"VideoWidth", width);
  PutDword(L"VideoHeight", height);
  PutDword(L"FramesPerSecond", fps);
  PutDword(L"SingleFormat", singleFormat);
}

// "pixel_format=nv12  min s=640x480" for each capability line of -list_options.
std::vector<std::string> ListedCapabilities(const std::string& output) {
  std::vector<std::string> listed;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("pixel_format="), min = line.find("min s=");
    if (at == std::string::npos || min == std::string::npos) continue;
    const size_t end = line.find(' ', min + 6);
    listed.push_back(line.substr(at + 13, line.find(' ', at) - at - 13) + " " + line.substr(min + 6, end - min - 6));
  }
  return listed;
}

class FfmpegClient : public PaintedScreen {
 protected:
  static void SetUpTestSuite() {
    // regsvr32 of this process's own bitness registers the camera build that ffmpeg will load.
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s \"" + WindowsPath(CAMERA_AX) + L"\"", 60'000).Code, 0u);
    CreateDirectoryW(WindowsPath(CLIP_DIR).c_str(), nullptr);
  }
  static void TearDownTestSuite() { ClearKey(); }
};

}  // namespace

TEST_F(FfmpegClient, ListsTheCameraAndEveryCapabilityInOrder) {
  Configure(640, 480, 30, 0);
  const ProgramResult devices = Ffmpeg(L"-f dshow -list_devices true -i dummy");
  EXPECT_NE(devices.Output.find("\"MurmellaScreenSharing\""), std::string::npos) << devices.Output;

  std::vector<std::string> expected;
  for (const vwc::TCapability& c : vwc::CameraCapabilities({640, 480}, false))
    expected.push_back(std::string(PixelFormatName(c.Format)) + " " + std::to_string(c.Size.Width) + "x" +
                       std::to_string(c.Size.Height));
  const ProgramResult options = Ffmpeg(L"-f dshow -list_options true -i video=MurmellaScreenSharing");
  EXPECT_EQ(ListedCapabilities(options.Output), expected) << options.Output;
  EXPECT_NE(options.Output.find("min s=640x480 fps=1 max s=640x480 fps=60"), std::string::npos) << options.Output;

  // The one-format camera: one capability at its one rate, and a YUV format is refused.
  Configure(640, 480, 30, 1);
  const ProgramResult single = Ffmpeg(L"-f dshow -list_options true -i video=MurmellaScreenSharing");
  EXPECT_EQ(ListedCapabilities(single.Output), std::vector<std::string>{"bgr0 640x480"}) << single.Output;
  const ProgramResult refused = Ffmpeg(L"-f dshow -pixel_format yuyv422 -i video=MurmellaScreenSharing -t 1 -f null -");
  EXPECT_NE(refused.Code, 0u);
  EXPECT_NE(refused.Output.find("Could not set video options"), std::string::npos) << refused.Output;
}

// Each recording: what ffmpeg is asked for, for how long; the NUT file and its first frame as
// raw bytes (decoded, so top-down in every format) land in CLIP_DIR. ffmpeg stamps video frames
// with the time they arrive, and the camera's first frames come late (the first capture pays
// for setting up) and then back to back until the schedule is met again: counted from the first
// frame, the clip's window would hold more than its share. The first 1.25 s are cut off, and
// the clip is the steady stream that follows; its ends fall between frames at every rate asked
// (a whole number of seconds plus a quarter), so that no frame sits on the edge.
TEST_F(FfmpegClient, RecordsWhatItAsksFor) {
  struct Recording {
    const char* Name;
    TPixelFormat Format;
    int Width, Height, Fps, Seconds;
    bool AskFormat;  // false: the camera's first capability, as an application that asks nothing
  } recordings[] = {
      {"yuy2-640x480", TPixelFormat::YUY2, 640, 480, 15, 4, true},
      {"nv12-1280x720", TPixelFormat::NV12, 1280, 720, 15, 4, true},
      {"i420-320x240", TPixelFormat::I420, 320, 240, 10, 4, true},
      {"rgb24-160x120", TPixelFormat::RGB24, 160, 120, 2, 4, true},
      {"rgb32-configured", TPixelFormat::RGB32, 640, 480, 10, 4, false},
  };
  Configure(640, 480, 10, 0);
  std::ofstream list(std::string(CLIP_DIR) + "/clips.txt");
  for (const Recording& r : recordings) {
    const std::string clip = std::string(CLIP_DIR) + "/" + r.Name + ".nut";
    const std::string frame = std::string(CLIP_DIR) + "/" + r.Name + ".raw";
    std::remove(clip.c_str());
    std::remove(frame.c_str());
    std::wstring args = L"-loglevel error -f dshow ";
    if (r.AskFormat)
      args += L"-video_size " + std::to_wstring(r.Width) + L"x" + std::to_wstring(r.Height) + L" -pixel_format " +
              Wide(PixelFormatName(r.Format)) + L" -framerate " + std::to_wstring(r.Fps) + L" ";
    args += L"-i video=MurmellaScreenSharing -ss 1.25 -t " + std::to_wstring(r.Seconds) +
            L" -vsync passthrough -c:v rawvideo -f nut \"" + WindowsPath(clip.c_str()) + L"\"";
    Pump(50);
    const ProgramResult run = Ffmpeg(args);
    EXPECT_EQ(run.Code, 0u) << r.Name << "\n" << run.Output;
    // The first frame out of the file (a second output in the same run keeps ffmpeg 4.1's
    // DirectShow input from ending).
    const ProgramResult first = Ffmpeg(L"-loglevel error -i \"" + WindowsPath(clip.c_str()) +
                                       L"\" -frames:v 1 -c:v rawvideo -f rawvideo \"" + WindowsPath(frame.c_str()) + L"\"");
    EXPECT_EQ(first.Code, 0u) << r.Name << "\n" << first.Output;
    list << r.Name << ".nut " << r.Width << " " << r.Height << " " << PixelFormatName(r.Format) << " " << r.Fps << " "
         << r.Seconds << "\n";

    // The first frame against the reference conversion of the painted colours: the inside of
    // each quadrant (a band around the seams, where the reduction mixes colours, and the
    // cursor's corner left out), each channel within 2.
    std::ifstream in(frame, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool yuv = vwc::IsYuv(r.Format);
    const int w = r.Width, h = r.Height, pixel = r.Format == TPixelFormat::RGB24 ? 3 : 4;
    const size_t expectedBytes = yuv ? murmella::yuv::FrameBytes(r.Format, w, h) : size_t(w) * h * pixel;
    ASSERT_EQ(bytes.size(), expectedBytes) << r.Name;
    int bad = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int band = 3;
        if (std::abs(x - w / 2) < band || std::abs(y - h / 2) < band || (x >= w - band && y >= h - band)) continue;
        const COLORREF c = kColours[(y >= h / 2) * 2 + (x >= w / 2)];
        const murmella::yuv::TYuv want = murmella::yuv::ToYuv(GetRValue(c), GetGValue(c), GetBValue(c));
        int got[3], ref[3];
        if (!yuv) {
          const uint8_t* p = &bytes[(size_t(y) * w + x) * pixel];
          got[0] = p[0], got[1] = p[1], got[2] = p[2];
          ref[0] = GetBValue(c), ref[1] = GetGValue(c), ref[2] = GetRValue(c);
        } else {
          const size_t luma = size_t(w) * h, cw = size_t(w) / 2, cx = size_t(x) / 2, cy = size_t(y) / 2;
          got[0] = r.Format == TPixelFormat::YUY2 ? bytes[size_t(y) * w * 2 + size_t(x) * 2] : bytes[size_t(y) * w + x];
          switch (r.Format) {
            case TPixelFormat::YUY2:
              got[1] = bytes[size_t(y) * w * 2 + cx * 4 + 1], got[2] = bytes[size_t(y) * w * 2 + cx * 4 + 3];
              break;
            case TPixelFormat::NV12:
              got[1] = bytes[luma + cy * cw * 2 + cx * 2], got[2] = bytes[luma + cy * cw * 2 + cx * 2 + 1];
              break;
            default:
              got[1] = bytes[luma + cy * cw + cx], got[2] = bytes[luma + luma / 4 + cy * cw + cx];
              break;
          }
          ref[0] = want.Y, ref[1] = want.U, ref[2] = want.V;
        }
        for (int k = 0; k < 3; ++k)
          if (std::abs(got[k] - ref[k]) > 2 && bad++ < 5)
            ADD_FAILURE() << r.Name << " at " << x << "," << y << " channel " << k << ": " << got[k] << " for " << ref[k];
      }
    EXPECT_EQ(bad, 0) << r.Name;
  }
}
