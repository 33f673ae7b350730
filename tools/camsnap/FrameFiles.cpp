#include "FrameFiles.h"

#include <cinttypes>
#include <vector>

namespace camsnap {

namespace {

bool WriteAll(const std::wstring& path, const void* data, size_t size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, data, DWORD(size), &written, nullptr) && written == size;
  CloseHandle(f);
  return ok;
}

}  // namespace

bool WriteBmp(const std::wstring& path, const VideoFormat& format, const Frame& frame) {
  const long w = format.Width, h = format.Height < 0 ? -format.Height : format.Height;
  if (w <= 0 || h <= 0 || format.BitCount != 32) return false;
  const size_t srcRow = size_t(w) * 4;
  if (frame.Bytes.size() < srcRow * size_t(h)) return false;
  const size_t dstRow = (size_t(w) * 3 + 3) & ~size_t(3);
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof ih;
  ih.biWidth = w;
  ih.biHeight = h;  // the file is always bottom-up
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = DWORD(dstRow * h);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  std::vector<uint8_t> file(fh.bfSize, 0);
  memcpy(file.data(), &fh, sizeof fh);
  memcpy(file.data() + sizeof fh, &ih, sizeof ih);
  for (long y = 0; y < h; ++y) {
    // File row y is the y-th row from the bottom.
    long srcY = format.Height > 0 ? y : h - 1 - y;
    const uint8_t* s = frame.Bytes.data() + srcRow * srcY;
    uint8_t* d = file.data() + fh.bfOffBits + dstRow * y;
    for (long x = 0; x < w; ++x) {
      d[3 * x] = s[4 * x];
      d[3 * x + 1] = s[4 * x + 1];
      d[3 * x + 2] = s[4 * x + 2];
    }
  }
  return WriteAll(path, file.data(), file.size());
}

bool WriteRaw(const std::wstring& path, const Frame& frame) {
  return WriteAll(path, frame.Bytes.data(), frame.Bytes.size());
}

void WriteFrameJson(FILE* out, size_t index, const Frame& f) {
  fprintf(out,
          "{\"index\":%zu,\"has_time\":%s,\"start\":%" PRId64 ",\"stop\":%" PRId64
          ",\"sync\":%s,\"arrival_us\":%" PRId64 ",\"length\":%ld,\"size\":%ld}\n",
          index, f.HasTime ? "true" : "false", f.Start, f.Stop, f.SyncPoint ? "true" : "false",
          f.ArrivalMicros, f.Length, f.Size);
}

}  // namespace camsnap
