// RenderMarkup over arbitrary markup, in paint and hit mode, with images, pictures and
// shell icons from in-memory sources; the paint's recorded layout answers the hit test alike.
// The markup is UTF-8 or any bytes at all: no text reaches the canvas with half of a
// surrogate pair (the seeds hold names in several scripts and ill-formed sequences).
#include "MarkupRenderer.h"
#include "TestCanvas.h"

#include <cstdint>
#include <string_view>

using namespace murmella::popup;
using namespace murmella::popup::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int width = data[0] * 4, height = data[1] * 4 + 1;
  const TPoint point{data[2], data[3]};
  const std::string_view markup(reinterpret_cast<const char*>(data + 4), size - 4);

  TTestCanvas canvas;
  TTestLoader loader;
  loader.Resources["OK"] = TestPictureBytes(9, 7);
  loader.Resources["BAD"] = {1, 2, 3};
  loader.Files["C:\\a.gif"] = TestPictureBytes(3, 30);
  THTMLPictureCache cache(loader);
  TTestImageList list(3, {16, 16});
  TTestShellIcons shell;
  TPictureContainer container;
  container.Add("PIC").Picture.LoadFromBytes(TestPictureBytes(5, 5), loader);

  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {2, 3, 2 + width, 3 + height};
  in.Images = &list;
  in.PictureCache = &cache;
  in.PictureContainer = &container;
  in.ShellIcons = &shell;
  in.HoverStyle = data[0] & 1;
  in.HoverNumber = data[1] % 4;
  TMarkupHitMap painted;  // the paint's layout, which must answer the hit test as the hit layout does
  for (bool hit : {false, true}) {
    in.HitMode = hit;
    in.Point = hit ? point : TPoint{};
    in.Record = hit ? nullptr : &painted;
    TMarkupRenderResult out;
    try {
      RenderMarkup(canvas, in, out);
    } catch (const EPictureError&) {
      continue;  // the undecodable resource, raised once
    }
    if (out.ContentHeight <= 0 || out.ContentWidth < 0) __builtin_trap();
    if (!(canvas.Font() == TMarkupFont{})) __builtin_trap();
    if (canvas.ClipDepth != 0) __builtin_trap();
    if (canvas.SplitSurrogates != 0) __builtin_trap();
    if (hit && painted.Complete()) {
      const TMarkupRenderResult again = painted.Hit(point);
      if (again.HitLink != out.HitLink || again.HitTarget != out.HitTarget || again.HitNumber != out.HitNumber ||
          !(again.HitRect == out.HitRect))
        __builtin_trap();
    }
    for (const auto& name : shell.Asked)
      if (name.size() >= 2 && (name[0] == '\\' || name[0] == '/') && (name[1] == '\\' || name[1] == '/')) __builtin_trap();
    for (const auto& f : loader.FilesAsked)
      if (f.size() >= 2 && (f[0] == '\\' || f[0] == '/') && (f[1] == '\\' || f[1] == '/')) __builtin_trap();
    canvas.ClearRecords();
  }
  return 0;
}
