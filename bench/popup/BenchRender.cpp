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

// The same notice for a visitor whose name is 40 Chinese characters (UTF-8, 3 bytes each).
const std::string kChineseNotice = [] {
  std::string name;
  for (int i = 0; i < 20; ++i) name += "\xE7\x8E\x8B\xE4\xBC\x9F";  // 王伟
  return "<B>Murmellachat</B><br><FONT color=\"#FF0000\">" + name + "</FONT> is ONLINE.";
}();

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

std::string HugeName(const std::string& piece) {
  std::string name = piece;
  while (name.size() < (1u << 20)) name += name;
  name.resize(1u << 20);
  return name;
}

// The notice with a 1 MB name (a page may pass any text), and the same name as a link, whose
// every run the layout's record keeps.
const std::string& HugeNotice() {
  static const std::string m =
      "<B>Murmellachat</B><br><FONT color=\"#FF0000\">" + HugeName("Visitor ") + "</FONT> is ONLINE.";
  return m;
}
const std::string& HugeLinkNotice() {
  static const std::string m = "<B>Murmellachat</B><br><A href=\"who\">" + HugeName("Visitor ") + "</A> is ONLINE.";
  return m;
}

// The widest, tallest notice the work area allows (1280 x 1004 less 40).
TMarkupRenderInput HugeInput(const std::string& markup, THTMLPictureCache& cache) {
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {9, 9, 1240 - 9, 1004 - 9};
  in.PictureCache = &cache;
  in.HoverStyle = true;
  return in;
}

const TPoint kHoverPoints[] = {{20, 24}, {120, 24}, {80, 12}};

// Pointer moves over a 1 MB notice: the paint lays it out and records it, and every move is
// answered from that record, as the notice window does while its text and width stay the same.
void HugeHover(benchmark::State& state, const std::string& markup) {
  TTestCanvas canvas;
  THTMLPictureCache cache;
  TMarkupRenderInput in = HugeInput(markup, cache);
  TMarkupHitMap layout;
  in.Record = &layout;
  TMarkupRenderResult out;
  RenderMarkup(canvas, in, out);
  THoverState hover;
  std::size_t i = 0, repaints = 0;
  for (auto _ : state) {
    out = layout.Hit(kHoverPoints[i++ % 3]);
    repaints += UpdateHover(hover, out.HitLink, out.HitTarget, out.HitNumber, out.HitRect, true).RepaintCount;
  }
  benchmark::DoNotOptimize(repaints);
}

// The same moves with a layout for each, as before the record was kept.
void BM_HugeNameHoverRelaid(benchmark::State& state) {
  TTestCanvas canvas;
  THTMLPictureCache cache;
  TMarkupRenderInput in = HugeInput(HugeNotice(), cache);
  in.HitMode = true;
  std::size_t i = 0;
  TMarkupRenderResult out;
  for (auto _ : state) {
    in.Point = kHoverPoints[i++ % 3];
    RenderMarkup(canvas, in, out);
    canvas.ClearRecords();
  }
  benchmark::DoNotOptimize(out.HitLink);
}

void BM_HugeNameHover(benchmark::State& s) { HugeHover(s, HugeNotice()); }
void BM_HugeLinkHover(benchmark::State& s) { HugeHover(s, HugeLinkNotice()); }

// One repaint of a 1 MB notice: the plain notice, and one whose name (a single word) has a
// wavy underline over a gradient background, the decorations a page may ask for. The visible
// part is the whole notice.
void PaintHuge(benchmark::State& state, const std::string& markup) {
  TTestCanvas canvas;
  canvas.Visible = {0, 0, 1240, 1004};
  THTMLPictureCache cache;
  TMarkupRenderInput in = HugeInput(markup, cache);
  TMarkupRenderResult out;
  for (auto _ : state) {
    RenderMarkup(canvas, in, out);
    benchmark::DoNotOptimize(out.ContentHeight);
    canvas.ClearRecords();
  }
}

void BM_HugeNamePaint(benchmark::State& s) { PaintHuge(s, HugeNotice()); }
void BM_HugeWavyPaint(benchmark::State& s) {
  static const std::string m = "<BODY bgcolor=\"clWhite\" bgcolorto=\"clYellow\"><B>Murmellachat</B><br><E>" +
                               HugeName("Visitor") + "</E> is ONLINE.";
  PaintHuge(s, m);
}

void BM_NoticePaint(benchmark::State& s) { Run(s, kNotice, false); }
void BM_NoticeHit(benchmark::State& s) { Run(s, kNotice, true); }
void BM_ChineseNoticePaint(benchmark::State& s) { Run(s, kChineseNotice, false); }
void BM_ChineseNoticeHit(benchmark::State& s) { Run(s, kChineseNotice, true); }
void BM_Mixed2KPaint(benchmark::State& s) { static const std::string m = Mixed2K(); Run(s, m, false); }
void BM_Mixed2KHit(benchmark::State& s) { static const std::string m = Mixed2K(); Run(s, m, true); }

}  // namespace

BENCHMARK(BM_TwoLinkHover);
BENCHMARK(BM_HugeNameHover);
BENCHMARK(BM_HugeLinkHover);
BENCHMARK(BM_HugeNameHoverRelaid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeNamePaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeWavyPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoticePaint);
BENCHMARK(BM_NoticeHit);
BENCHMARK(BM_ChineseNoticePaint);
BENCHMARK(BM_ChineseNoticeHit);
BENCHMARK(BM_Mixed2KPaint);
BENCHMARK(BM_Mixed2KHit);
BENCHMARK_MAIN();
