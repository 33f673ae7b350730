// Builds without a window system have no picture decoder and no program resources; local
// files can still be read, so the cache behaves the same apart from decoding.
#include "LocalPath.h"
#include "PictureContainer.h"

#include <cstdio>
#include <memory>

namespace murmella::popup {

namespace {

class TPortableLoader final : public TPictureLoader {
 public:
  std::optional<TBytes> ResourceBytes(std::string_view) override { return std::nullopt; }

  std::optional<TBytes> FileBytes(std::string_view path) override {
    if (!IsPlainLocalPath(path)) return std::nullopt;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(std::string(path).c_str(), "rb"), &std::fclose);
    if (!f) return std::nullopt;
    TBytes bytes;
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) bytes.insert(bytes.end(), buf, buf + n);
    if (std::ferror(f.get())) return std::nullopt;
    return bytes;
  }

  std::unique_ptr<TDecodedPicture> Decode(const TBytes&) override { throw EPictureError(kCouldNotLoadImage); }
};

}  // namespace

TPictureLoader& DefaultPictureLoader() {
  static TPortableLoader loader;
  return loader;
}

}  // namespace murmella::popup
