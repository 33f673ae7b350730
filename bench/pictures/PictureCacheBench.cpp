// picture_cache_bench [--pictures N]: a page naming a new FILE:// picture on every call, as the
// notice's picture cache sees it with the platform's decoder. N different 256 by 256 bitmaps
// are obtained one render each, by a cache with the shipped limits and by one with no limits;
// prints, as one JSON line, the process's committed memory before the first (its baseline),
// with each cache at its fullest, and the growth over what the process had before each.
#include "PictureContainer.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using murmella::popup::THTMLPictureCache;
using murmella::popup::TPictureCacheLimits;

double CommittedMb() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
  const size_t committed = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
  return committed / 1048576.0;
}

bool WriteBitmap(const std::string& path, int side, unsigned seed) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = side;
  info.biHeight = side;
  info.biPlanes = 1;
  info.biBitCount = 32;
  const DWORD pixels = static_cast<DWORD>(side) * side * 4;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + pixels;
  std::vector<unsigned char> data(pixels);
  for (DWORD i = 0; i < pixels; ++i) data[i] = static_cast<unsigned char>(i * 31 + seed);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1 &&
                  std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

struct TRun {
  double Before = 0;  // committed MB when the cache was made
  double After = 0;   // with every picture obtained, the cache still alive
  std::size_t Kept = 0;
};

TRun Fill(const std::vector<std::string>& files, TPictureCacheLimits limits) {
  TRun r;
  r.Before = CommittedMb();
  THTMLPictureCache cache(murmella::popup::DefaultPictureLoader(), limits);
  for (const std::string& f : files) {
    cache.StartRender();
    cache.Obtain("FILE://" + f);
  }
  r.Kept = cache.Count();
  r.After = CommittedMb();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 1000;
  for (int i = 1; i + 1 < argc; i += 2)
    if (!std::strcmp(argv[i], "--pictures")) count = std::max(1, std::atoi(argv[i + 1]));
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "murmella-picture-bench";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::vector<std::string> files;
  for (int i = 0; i < count; ++i) {
    files.push_back(dir + "\\p" + std::to_string(i) + ".bmp");
    if (!WriteBitmap(files.back(), 256, static_cast<unsigned>(i))) return std::fprintf(stderr, "cannot write\n"), 1;
  }
  const std::size_t none = std::numeric_limits<std::size_t>::max();
  const TRun bounded = Fill(files, TPictureCacheLimits{});
  const TRun unbounded = Fill(files, TPictureCacheLimits{none, none, none});
  std::printf("{\"bench\":\"picture_cache\",\"pictures\":%d,\"bytes_each\":%d,\"baseline_committed_mb\":%.1f,"
              "\"bounded_committed_mb\":%.1f,\"bounded_growth_mb\":%.1f,\"bounded_kept\":%zu,"
              "\"unbounded_committed_mb\":%.1f,\"unbounded_growth_mb\":%.1f,\"unbounded_kept\":%zu,\"goal_growth_mb\":40}\n",
              count, 256 * 256 * 4 + 54, bounded.Before, bounded.After, bounded.After - bounded.Before, bounded.Kept,
              unbounded.After, unbounded.After - unbounded.Before, unbounded.Kept);
  for (const std::string& f : files) DeleteFileA(f.c_str());
  RemoveDirectoryA(dir.c_str());
  return 0;
}
