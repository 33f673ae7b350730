#include "MarkupImages.h"

#include "LocalPath.h"
#include "MarkupValues.h"

#include <algorithm>
#include <cmath>

namespace murmella::popup {

namespace {

// Markup may ask for any size; beyond this nothing sensible fits on a screen, and huge
// values would only overflow the layout's sums or make the platform allocate.
constexpr int kMaxImageExtent = 16384;
// A tiny picture tiled over a large rectangle would stall the paint.
constexpr long long kMaxTiles = 10000;

int ClampExtent(int v) { return std::clamp(v, 0, kMaxImageExtent); }

bool Contains(std::string_view hay, std::string_view needle) { return hay.find(needle) != std::string_view::npos; }

}  // namespace

TSize ScaleToCanvas(const TMarkupCanvas& canvas, TSize size) {
  return {ClampExtent(MulDiv(ClampExtent(size.Width), canvas.PixelsPerInchX(), 96)),
          ClampExtent(MulDiv(ClampExtent(size.Height), canvas.PixelsPerInchY(), 96))};
}

TMarkupImage ResolveImage(const TImageContext& ctx, std::string_view source, int tagWidth, int tagHeight) {
  TMarkupImage img;
  const std::string up = UpperCase(source);
  if (Contains(up, "IDX:")) {
    const int i = ReadNumberValue(source.substr(std::min<std::size_t>(4, source.size())));
    if (ctx.Images && i < ctx.Images->Count()) {
      img.Kind = TImageKind::ListImage;
      img.Index = i;
      img.Size = ScaleToCanvas(ctx.Canvas, ctx.Images->ImageSize());
      img.Drawable = i >= 0;
    }
    return img;
  }
  if (Contains(up, "SSYS:") || Contains(up, "LSYS:")) {
    const bool small = Contains(up, "SSYS:");
    std::string_view rest = source.substr(std::min<std::size_t>(5, source.size()));
    if (!ctx.Shell) return img;
    int index = -1;
    TLenientNumber n = ReadNumber(rest);
    if (n.Complete)
      index = n.Value;
    else if (IsPlainLocalPath(rest))
      index = ctx.Shell->IconIndex(rest, small);
    // The list's icon size is taken whatever the index; only a real index is drawn.
    img.Kind = TImageKind::ShellIcon;
    img.Index = index;
    img.Small = small;
    img.Size = ScaleToCanvas(ctx.Canvas, ctx.Shell->IconSize(small));
    img.Drawable = index >= 0;
    return img;
  }
  const THTMLPicture* pic = nullptr;
  if (!Contains(up, ":") && ctx.Container)
    pic = ctx.Container->FindPicture(source);
  else if (Contains(up, "://") && ctx.Cache)
    pic = &ctx.Cache->Obtain(source);
  if (!pic || pic->Empty()) return img;
  img.Kind = TImageKind::Picture;
  img.Picture = pic;
  img.Drawable = true;
  if (tagWidth >= 1 && tagHeight >= 1)
    img.Size = ScaleToCanvas(ctx.Canvas, {tagWidth, tagHeight});
  else
    img.Size = ScaleToCanvas(ctx.Canvas, {pic->Width(), pic->Height()});
  return img;
}

void DrawImage(const TImageContext& ctx, const TMarkupImage& image, int x, int y, int tagWidth, int tagHeight) {
  if (!image.Drawable) return;
  switch (image.Kind) {
    case TImageKind::ListImage:
      if (ctx.Images) ctx.Images->Draw(ctx.Canvas, image.Index, x, y);
      break;
    case TImageKind::ShellIcon:
      if (ctx.Shell) ctx.Shell->Draw(ctx.Canvas, image.Index, image.Small, x, y);
      break;
    case TImageKind::Picture: {
      if (tagWidth >= 1 && tagHeight >= 1) {
        image.Picture->Draw(ctx.Canvas, {x, y, x + ClampExtent(tagWidth), y + ClampExtent(tagHeight)});
      } else {
        const TPoint f = image.Picture->FramePosition();
        const TSize s = image.Picture->DecodedSize();
        image.Picture->Draw(ctx.Canvas, {x + f.X, y + f.Y, x + f.X + ClampExtent(s.Width), y + f.Y + ClampExtent(s.Height)});
      }
      break;
    }
    case TImageKind::None:
      break;
  }
}

void GradientFill(TMarkupCanvas& canvas, const TRect& rect, TColor c1, TColor c2, bool leftToRight) {
  const std::uint32_t a = canvas.ResolveColor(c1), z = canvas.ResolveColor(c2);
  const int r0 = a & 0xFF, g0 = (a >> 8) & 0xFF, b0 = (a >> 16) & 0xFF;
  const int r1 = z & 0xFF, g1 = (z >> 8) & 0xFF, b1 = (z >> 16) & 0xFF;
  const double dr = (r1 - r0) / 64.0, dg = (g1 - g0) / 64.0, db = (b1 - b0) / 64.0;
  const double band = (leftToRight ? static_cast<double>(rect.Width()) : static_cast<double>(rect.Height())) / 64.0;
  const long long step = static_cast<long long>(std::trunc(band)) + 1;
  const TRect visible = canvas.VisibleRect();
  for (int i = 0; i < 64; ++i) {
    const long long r = r0 + RoundHalfEven(i * dr), g = g0 + RoundHalfEven(i * dg), b = b0 + RoundHalfEven(i * db);
    const TColor c = static_cast<TColor>(r + 256 * g + 65536 * b);
    const long long o = RoundHalfEven(i * band);
    canvas.SetPenColor(c);
    canvas.SetBrushColor(c);
    TRect part;
    if (leftToRight) {
      const long long l = rect.Left + o, rr = std::min<long long>(l + step, rect.Right);
      part = {static_cast<int>(l), rect.Top, static_cast<int>(rr), rect.Bottom};
    } else {
      const long long t = rect.Top + o, bb = std::min<long long>(t + step, rect.Bottom);
      part = {rect.Left, static_cast<int>(t), rect.Right, static_cast<int>(bb)};
    }
    part = part.Intersect(visible);
    if (!part.IsEmpty()) canvas.FillRect(part);
  }
}

void TilePicture(const TImageContext& ctx, const TMarkupImage& image, const TRect& bounds) {
  // Tiles step by the picture's own size (a GIF's logical screen), not its scaled size.
  if (!image.Picture) return;
  const int w = image.Picture->Width(), h = image.Picture->Height();
  if (w <= 0 || h <= 0 || bounds.IsEmpty()) return;
  const long long cols = (static_cast<long long>(bounds.Width()) + w - 1) / w;
  const long long rows = (static_cast<long long>(bounds.Height()) + h - 1) / h;
  if (cols * rows > kMaxTiles) return;
  // Only the tiles that reach into the visible part are drawn.
  const TRect visible = ctx.Canvas.VisibleRect();
  const auto first = [](long long from, long long start, int step) { return std::max(0LL, (from - start) / step); };
  const long long i0 = first(visible.Left, bounds.Left, w), j0 = first(visible.Top, bounds.Top, h);
  const long long i1 = std::min(cols, first(visible.Right - 1LL, bounds.Left, w) + 1);
  const long long j1 = std::min(rows, first(visible.Bottom - 1LL, bounds.Top, h) + 1);
  ctx.Canvas.PushClip(bounds);
  for (long long j = j0; j < j1; ++j)
    for (long long i = i0; i < i1; ++i)
      DrawImage(ctx, image, bounds.Left + static_cast<int>(i * w), bounds.Top + static_cast<int>(j * h), 0, 0);
  ctx.Canvas.PopClip();
}

}  // namespace murmella::popup
