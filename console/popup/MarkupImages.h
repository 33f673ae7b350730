// Images and backgrounds of the markup: what an image source resolves to, how it is drawn,
// and the 64-band gradient.
#pragma once

#include "MarkupCanvas.h"
#include "PictureContainer.h"

#include <string_view>

namespace murmella::popup {

// The image list that "IDX:" sources index.
class TMarkupImageList {
 public:
  virtual ~TMarkupImageList() = default;
  virtual int Count() const = 0;
  virtual TSize ImageSize() const = 0;
  virtual void Draw(TMarkupCanvas& canvas, int index, int x, int y) const = 0;
};

// The platform's system image lists ("SSYS:" small, "LSYS:" large icons).
class TShellIcons {
 public:
  virtual ~TShellIcons() = default;
  // Icon index of a local file or folder name (or of its type when it does not exist),
  // -1 when the shell has none. Only called with names that passed IsPlainLocalPath.
  virtual int IconIndex(std::string_view name, bool small) = 0;
  virtual TSize IconSize(bool small) = 0;
  virtual void Draw(TMarkupCanvas& canvas, int index, bool small, int x, int y) = 0;
};

struct TImageContext {
  TMarkupCanvas& Canvas;
  const TMarkupImageList* Images = nullptr;
  TPictureContainer* Container = nullptr;
  THTMLPictureCache* Cache = nullptr;
  TShellIcons* Shell = nullptr;
};

enum class TImageKind { None, ListImage, ShellIcon, Picture };

struct TMarkupImage {
  TImageKind Kind = TImageKind::None;
  TSize Size;          // room taken, scaled to the canvas; 0 by 0 when the source yields nothing
  int Index = -1;      // list image or shell icon
  bool Small = false;  // shell icon from the small list
  const THTMLPicture* Picture = nullptr;
  bool Drawable = false;
};

// tagWidth and tagHeight are the tag's WIDTH and HEIGHT (0 when absent).
TMarkupImage ResolveImage(const TImageContext& ctx, std::string_view source, int tagWidth, int tagHeight);

// Draws at (x, y): list images and icons at their own size; pictures stretched to the tag's
// size when both are at least 1, else at their natural size moved by their first frame.
void DrawImage(const TImageContext& ctx, const TMarkupImage& image, int x, int y, int tagWidth, int tagHeight);

// Fills rect from c1 to c2 in 64 bands, left to right or top to bottom.
void GradientFill(TMarkupCanvas& canvas, const TRect& rect, TColor c1, TColor c2, bool leftToRight);

// Tiles a picture over bounds (clipped to bounds), one copy per picture size.
void TilePicture(const TImageContext& ctx, const TMarkupImage& image, const TRect& bounds);

// A size in 96-ppi pixels scaled to the canvas.
TSize ScaleToCanvas(const TMarkupCanvas& canvas, TSize size);

}  // namespace murmella::popup
