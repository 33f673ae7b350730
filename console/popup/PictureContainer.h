// Pictures named in markup: THTMLPicture (decoded from bytes), THTMLPictureCache (pictures
// already loaded, by source) and TPictureContainer (named pictures). Decoding, program
// resources and file access belong to the platform, behind TPictureLoader.
#pragma once

#include "Classes.h"
#include "MarkupCanvas.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace murmella::popup {

using TBytes = std::vector<std::uint8_t>;

// A picture that cannot be decoded.
class EPictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  static constexpr const char* ClassName() { return "EInvalidGraphic"; }
};

inline constexpr const char* kNoMemoryForImage = "Could not allocate memory for image";
inline constexpr const char* kNoImageStream = "Could not create image stream";
inline constexpr const char* kEmptyImageStream = "Empty image stream created";
inline constexpr const char* kInvalidImageFormat = "Could not load image. Invalid format";
inline constexpr const char* kCouldNotLoadImage = "Could not load image";

class TDecodedPicture {
 public:
  virtual ~TDecodedPicture() = default;
  virtual TSize Size() const = 0;  // pixels at 96 pixels per inch
  virtual void Draw(TMarkupCanvas& canvas, const TRect& dest) const = 0;
};

class TPictureLoader {
 public:
  virtual ~TPictureLoader() = default;
  // The program's own RT_RCDATA resource of that name, if there is one.
  virtual std::optional<TBytes> ResourceBytes(std::string_view name) = 0;
  // A local file's bytes; nothing for a file that cannot be read and, whatever the form of
  // the name, for anything that is not a file on a local disk.
  virtual std::optional<TBytes> FileBytes(std::string_view path) = 0;
  // Throws EPictureError with one of the messages above.
  virtual std::unique_ptr<TDecodedPicture> Decode(const TBytes& bytes) = 0;
};

// The platform's loader (on Windows: resources, local files, OleLoadPicture).
TPictureLoader& DefaultPictureLoader();

struct TGifInfo {
  bool IsGif = false;
  int LogicalWidth = 0;
  int LogicalHeight = 0;
  int FrameCount = 0;
  TPoint FirstFrame;  // left and top of the first image descriptor
};

// Reads what the layout needs from a GIF header, bounds-checked on any bytes.
TGifInfo ReadGifInfo(const TBytes& bytes);

class THTMLPicture {
 public:
  THTMLPicture() = default;
  explicit THTMLPicture(std::string source) : Source_(std::move(source)) {}

  const std::string& Source() const { return Source_; }
  bool Empty() const { return !Decoded_; }
  bool Stretch = false;
  bool Asynchronous = true;  // always cleared by the renderer: loading is synchronous

  const TBytes& Bytes() const { return Bytes_; }
  const TGifInfo& Gif() const { return Gif_; }
  int FrameCount() const { return Gif_.FrameCount; }
  TPoint FramePosition() const { return Gif_.FirstFrame; }
  // The GIF logical screen size when there is one, else the decoded size at 96 ppi.
  int Width() const;
  int Height() const;

  // Keeps the bytes, reads a GIF header and decodes; decoding errors are thrown.
  void LoadFromBytes(TBytes bytes, TPictureLoader& loader);
  // A file that cannot be read or decoded leaves the picture empty.
  void LoadFromFile(std::string_view path, TPictureLoader& loader);
  // A missing resource leaves the picture empty; one that cannot be decoded throws.
  void LoadFromResource(std::string_view name, TPictureLoader& loader);

  // Into dest (the caller picks natural or stretched size); nothing when empty.
  void Draw(TMarkupCanvas& canvas, const TRect& dest) const;
  TSize DecodedSize() const { return Decoded_ ? Decoded_->Size() : TSize{}; }
  // What the picture holds in memory: its bytes and its decoded pixels.
  std::size_t ByteCount() const { return Bytes_.size(); }
  std::size_t PixelCount() const;
  // A picture that could not be decoded keeps no bytes: nothing would ever read them.
  void DropBytesIfEmpty();

 private:
  std::string Source_;
  TBytes Bytes_;
  TGifInfo Gif_;
  std::unique_ptr<TDecodedPicture> Decoded_;
};

// What the cache may hold: a page names the pictures, and one that names a new file on every
// call must not fill the memory.
struct TPictureCacheLimits {
  std::size_t Pictures = 64;
  std::size_t Bytes = 32u << 20;
  std::size_t Pixels = 64u << 20;
};

// Owns its pictures; lookup by exact source text, first match wins. Past its limits it drops
// the pictures used longest ago, but never one obtained since the last StartRender (the
// renderer holds those); a new picture that does not fit beside them is not loaded.
class THTMLPictureCache {
 public:
  explicit THTMLPictureCache(TPictureLoader& loader = DefaultPictureLoader(), TPictureCacheLimits limits = {})
      : Loader_(&loader), Limits_(limits) {}

  THTMLPicture* Find(std::string_view source) const;
  // The cached picture, or a new one loaded from "RES://name" or "FILE://path"; any other
  // source is only recorded (nothing is downloaded). A resource that cannot be decoded
  // throws once; the picture stays cached and empty, without its bytes.
  THTMLPicture& Obtain(std::string_view source);
  // A render begins: pictures it obtains stay until the next one begins.
  void StartRender() { ++render_; }
  std::size_t Count() const { return Pictures_.size(); }
  std::size_t ByteCount() const { return bytes_; }
  std::size_t PixelCount() const { return pixels_; }
  void Clear() {
    Pictures_.clear();
    bytes_ = pixels_ = 0;
  }
  TPictureLoader& Loader() const { return *Loader_; }

 private:
  struct TEntry {
    std::unique_ptr<THTMLPicture> Picture;
    unsigned long long Render = 0;  // the render that last obtained it
  };
  bool Over(std::size_t count, std::size_t bytes, std::size_t pixels) const;
  void MakeRoom();
  void Load(THTMLPicture& pic, std::string_view source);

  TPictureLoader* Loader_;
  TPictureCacheLimits Limits_;
  std::vector<TEntry> Pictures_;  // oldest use first
  std::size_t bytes_ = 0, pixels_ = 0;
  unsigned long long render_ = 0;
  THTMLPicture overflow_;  // what a picture that does not fit gets: nothing to draw
};

// A component, so that whoever refers to it (the popup's PictureContainer) hears when it goes.
class TPictureContainer : public forms::TComponent {
 public:
  explicit TPictureContainer(forms::TComponent* owner = nullptr, std::string name = {})
      : TComponent(owner, std::move(name)) {}
  struct TItem {
    std::string Name;
    THTMLPicture Picture;
  };
  std::vector<std::unique_ptr<TItem>> Items;

  TItem& Add(std::string name);
  // Names compared upper-cased; first match or nullptr.
  THTMLPicture* FindPicture(std::string_view name) const;
};

}  // namespace murmella::popup
