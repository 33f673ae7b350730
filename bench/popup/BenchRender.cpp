// A paint layout and a hit check, as the popup runs them on every paint and pointer move.
#include "MarkupRenderer.h"
#include "PopupGeometry.h"
#include "TestCanvas.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace murmella::popup;
using namespace murmella::popup::testing;

namespace {

const std::string kNotice = "<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.";

std::string Mixed2K() {
  const std::string piece =
      "<P align=\"center\"><FONT size=\"4\" color=\"clNavy\"><I>Mixed</I> markup</FONT></P>"
      "<UL><LI>one <A href=\"x\">link here</A><LI><SH>shadow</SH> and <E>wavy</E></UL><HR>"
      "H<sub>2</sub>O &amp; x<sup>2</sup> &copy; &lt;B&gt; a&nbsp;b <IMG src=\"idx:1\" align=\"middle\"> "
      "<HI>highlight</HI> some longer running words that wrap across the line<BR>";
  std::string s;
  while (s.size() < 2048) s += piece;
  return s;
}

void Run(benchmark::State& state, const std::string& markup, bool hit) {
  TTestCanvas canvas;
  TTestImageList list(3, {16, 16});
  THTMLPictureCache cache;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {0, 0, 300, 4096};
  in.Images = &list;
  in.PictureCache = &cache;
  in.HitMode = hit;
  in.HoverStyle = !hit;
  in.Point = hit ? TPoint{40, 20} : TPoint{};
  TMarkupRenderResult out;
  for (auto _ : state) {
    RenderMarkup(canvas, in, out);
    benchmark::DoNotOptimize(out.ContentHeight);
    canvas.ClearRecords();
  }
}

// What the notice does on one pointer move over a two-link text: one hit layout and the hover
// bookkeeping, the pointer going back and forth between the two links and the plain text.
void BM_TwoLinkHover(benchmark::State& state) {
  const std::string markup =
      "<B>Murmellachat</B><br><A href=\"first\">one link</A> and <A href=\"second\">two link</A>";
  TTestCanvas canvas;
  THTMLPictureCache cache;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {9, 9, 200, 60};
  in.PictureCache = &cache;
  in.HitMode = true;
  in.HoverStyle = true;
  const TPoint points[] = {{20, 24}, {120, 24}, {80, 12}};
  THoverState hover;
  std::size_t i = 0, repaints = 0;
  TMarkupRenderResult out;
  for (auto _ : state) {
    in.Point = points[i++ % 3];
    in.HoverNumber = hover.Number;
    RenderMarkup(canvas, in, out);
    repaints += UpdateHover(hover, out.HitLink, out.HitTarget, out.HitNumber, out.HitRect, true).RepaintCount;
    canvas.ClearRecords();
  }
  benchmark::DoNotOptimize(repaints);
}

// The same pointer moves over a notice whose name is 1 MB (a page may pass any text), laid out
// in the widest notice the work area allows (1280 less 40).
void BM_HugeNameHover(benchmark::State& state) {
  static const std::string markup = [] {
    std::string name = "Visitor ";
    while (name.size() < (1u << 20)) name += name;
    name.resize(1u << 20);
    return "<B>Murmellachat</B><br><FONT color=\"#FF0000\">" + name + "</FONT> is ONLINE.";
  }();
  TTestCanvas canvas;
  THTMLPictureCache cache;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {9, 9, 1240 - 9, 4096};
  in.PictureCache = &cache;
  in.HitMode = true;
  in.HoverStyle = true;
  const TPoint points[] = {{20, 24}, {120, 24}, {80, 12}};
  std::size_t i = 0;
  TMarkupRenderResult out;
  for (auto _ : state) {
    in.Point = points[i++ % 3];
    RenderMarkup(canvas, in, out);
    canvas.ClearRecords();
  }
  benchmark::DoNotOptimize(out.HitLink);
}

void BM_NoticePaint(benchmark::State& s) { Run(s, kNotice, false); }
void BM_NoticeHit(benchmark::State& s) { Run(s, kNotice, true); }
void BM_Mixed2KPaint(benchmark::State& s) { static const std::string m = Mixed2K(); Run(s, m, false); }
void BM_Mixed2KHit(benchmark::State& s) { static const std::string m = Mixed2K(); Run(s, m, true); }

}  // namespace

BENCHMARK(BM_TwoLinkHover);
BENCHMARK(BM_HugeNameHover)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoticePaint);
BENCHMARK(BM_NoticeHit);
BENCHMARK(BM_Mixed2KPaint);
BENCHMARK(BM_Mixed2KHit);
BENCHMARK_MAIN();
