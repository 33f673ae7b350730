// Hit tests answered from a recorded layout, and decorations drawn only where they can show.
#include "MarkupRenderer.h"
#include "TestCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace murmella::popup {
namespace {

using testing::TTestCanvas;
using testing::TTestImageList;
using testing::TLine2;
using testing::TFill;

std::string Describe(const TMarkupRenderResult& r) {
  return (r.HitLink ? "link " : "none ") + r.HitTarget + " #" + std::to_string(r.HitNumber) + " [" +
         std::to_string(r.HitRect.Left) + "," + std::to_string(r.HitRect.Top) + "," +
         std::to_string(r.HitRect.Right) + "," + std::to_string(r.HitRect.Bottom) + "] " +
         std::to_string(r.ContentWidth) + "x" + std::to_string(r.ContentHeight);
}

// For every markup and every point of a grid over (and around) a narrow box: the answer from
// the layout recorded once, while painting or while hit-testing another point, equals the
// answer of laying the markup out again for that point.
TEST(HitMap, RecordedLayoutAnswersAsAFreshLayoutDoes) {
  const char* markups[] = {
      "<B>Murmellachat</B><br><A href=\"first\">one link</A> and <A href=\"second\">two link</A>",
      "lead <A href=\"long\">a link whose words run over several lines of the box</A> after it",
      "<A href=\"open\">never closed, words words words words words",
      "text </A> <A href=\"x\">y</A></A> <A>no target</A>",
      "<A href=\"a\">aa</A><A href=\"b\">bb</A><A href=\"c\">cc</A>",
      "<A href=\"img\"><IMG src=\"idx:1\"> pic</A> and <A href=\"mid\"><IMG src=\"idx:0\" align=\"middle\">x</A>",
      "<P align=\"center\">centred <A href=\"c\">link</A></P><P align=\"right\"><A href=\"r\">right</A></P>",
      "<FONT size=\"5\">big <A href=\"big\">link</A></FONT> H<sub><A href=\"s\">2</A></sub>O x<sup><A href=\"p\">2</A></sup>",
      "<UL><LI><A href=\"i1\">item one</A><LI>item <A href=\"i2\">two</A></UL><IN x=\"40\"><A href=\"in\">in</A>",
      "<OF x=\"30\">offset <A href=\"of\">link</A> text<BR><A href=\"z\">z<Z>hidden</Z>z</A>",
      "<A href=\"wrap\"><IMG src=\"idx:2\" wrap> after an image that wraps</A>",
      "<A href=\"t\">a</A>\r\n<A href=\"u\">&lt;b&gt;&nbsp;c</A> &amp; <R a=\"90\"><A href=\"rot\">r</A></R>",
  };
  TTestImageList list(3, {16, 16});
  for (const char* markup : markups) {
    for (bool hover : {false, true}) {
      TTestCanvas canvas;
      TMarkupRenderInput in;
      in.Markup = markup;
      in.Bounds = {10, 20, 130, 200};
      in.Images = &list;
      in.HoverStyle = hover;
      in.HoverNumber = hover ? 2 : -1;
      TMarkupHitMap painted, hitTested;
      TMarkupRenderResult out;
      in.Record = &painted;
      RenderMarkup(canvas, in, out);
      in.HitMode = true;
      in.Point = {50, 30};
      in.Record = &hitTested;
      RenderMarkup(canvas, in, out);
      ASSERT_TRUE(painted.Complete());
      ASSERT_TRUE(hitTested.Complete());
      in.Record = nullptr;
      int links = 0;
      for (int y = 15; y < 205; y += 3) {
        for (int x = 5; x < 140; x += 4) {
          in.Point = {x, y};
          TMarkupRenderResult fresh;
          RenderMarkup(canvas, in, fresh);
          links += fresh.HitLink;
          ASSERT_EQ(Describe(painted.Hit({x, y})), Describe(fresh)) << markup << " at " << x << "," << y;
          ASSERT_EQ(Describe(hitTested.Hit({x, y})), Describe(fresh)) << markup << " at " << x << "," << y;
        }
      }
      EXPECT_GT(links, 0) << markup << ": the grid should find its links";
    }
  }
}

TEST(HitMap, OnlyWhatALinkLeavesIsRecorded) {
  TTestCanvas canvas;
  std::string plain;
  while (plain.size() < 20000) plain += "words without any link ";
  TMarkupRenderInput in;
  in.Bounds = {0, 0, 300, 100000};
  TMarkupHitMap map;
  in.Record = &map;
  in.Markup = plain;
  TMarkupRenderResult out;
  RenderMarkup(canvas, in, out);
  EXPECT_TRUE(map.Complete());
  EXPECT_EQ(map.EventCount(), 0u);
  EXPECT_EQ(map.Hit({5, 5}).ContentHeight, out.ContentHeight);
  const std::string linked = "<A href=\"x\">x</A> " + plain;
  in.Markup = linked;
  RenderMarkup(canvas, in, out);
  EXPECT_LE(map.EventCount(), 4u) << "a run, its line's end and the link's close (met by both passes)";
}

// Draws a 1 MB word with decorations at (0,0) in a surface whose visible part is `visible`.
TTestCanvas& DrawDecorated(TTestCanvas& canvas, const std::string& markup, TRect visible) {
  canvas.Visible = visible;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {0, 0, 1000, 700};
  TMarkupRenderResult out;
  RenderMarkup(canvas, in, out);
  return canvas;
}

bool Meets(const TLine2& l, const TRect& r) {
  const int x0 = std::min(l.From.X, l.To.X), x1 = std::max(l.From.X, l.To.X);
  const int y0 = std::min(l.From.Y, l.To.Y), y1 = std::max(l.From.Y, l.To.Y);
  return x1 >= r.Left && x0 < r.Right && y1 >= r.Top && y0 < r.Bottom;
}

// What falls inside the visible part is drawn exactly as without the limit; what lies outside is
// not drawn, so a paint's cost follows the visible part, not the text's length.
TEST(Decorations, DrawnOnlyInsideTheVisibleRectangle) {
  std::string word(1 << 16, 'W');
  const std::string wavy = "<E>x " + word + "</E>";
  const TRect visibles[] = {{0, 0, 1000, 700}, {101, 0, 163, 700}, {-50, 0, 7, 700}, {0, 40, 1000, 700}};
  TTestCanvas whole;
  constexpr int kAll = TMarkupCanvas::kUnbounded;
  DrawDecorated(whole, wavy, {-kAll, -kAll, kAll, kAll});
  ASSERT_GT(whole.Lines.size(), 100000u) << "without a limit the zig-zag runs the word's length";
  for (const TRect& v : visibles) {
    TTestCanvas part;
    DrawDecorated(part, wavy, v);
    EXPECT_LE(part.Lines.size(), static_cast<std::size_t>(v.Width() / 2 + 4)) << v.Left;
    std::vector<TLine2> expected;
    for (const TLine2& l : whole.Lines)
      if (Meets(l, v)) expected.push_back(l);
    std::vector<TLine2> drawn;
    for (const TLine2& l : part.Lines)
      if (Meets(l, v)) drawn.push_back(l);
    ASSERT_EQ(drawn.size(), expected.size()) << v.Left << "," << v.Top;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      EXPECT_EQ(drawn[i].From, expected[i].From) << i;
      EXPECT_EQ(drawn[i].To, expected[i].To) << i;
    }
  }

  // A gradient's bands are cut to the visible part, their colours unchanged.
  const std::string gradient = "<BODY bgcolor=\"#000000\" bgcolorto=\"#FC0000\">x";
  TTestCanvas full, cut;
  DrawDecorated(full, gradient, {0, 0, 1000, 700});
  DrawDecorated(cut, gradient, {300, 10, 340, 20});
  ASSERT_EQ(full.Fills.size(), 64u);
  ASSERT_FALSE(cut.Fills.empty());
  EXPECT_LE(cut.Fills.size(), 4u);
  for (const TFill& f : cut.Fills) {
    EXPECT_EQ(f.Rect.Top, 10);
    EXPECT_EQ(f.Rect.Bottom, 20);
    EXPECT_GE(f.Rect.Left, 300);
    EXPECT_LE(f.Rect.Right, 340);
    const auto same = std::find_if(full.Fills.begin(), full.Fills.end(), [&](const TFill& g) {
      return g.Rect.Left <= f.Rect.Left && f.Rect.Right <= g.Rect.Right;
    });
    ASSERT_NE(same, full.Fills.end());
    EXPECT_EQ(same->Color, f.Color);
  }
}

TEST(Decorations, TilesOnlyWhereTheyShow) {
  testing::TTestLoader loader;
  loader.Resources["T"] = testing::TestPictureBytes(10, 10);
  THTMLPictureCache cache(loader);
  TTestCanvas canvas;
  canvas.Visible = {25, 35, 47, 40};
  TMarkupRenderInput in;
  in.Markup = "<BODY background=\"RES://T\">x";
  in.Bounds = {0, 0, 200, 100};
  in.PictureCache = &cache;
  TMarkupRenderResult out;
  RenderMarkup(canvas, in, out);
  std::vector<TRect> tiles;
  for (const auto& img : canvas.Images)
    if (img.What == "picture") tiles.push_back(img.Rect);
  std::vector<TRect> expected;
  for (int y : {30})
    for (int x : {20, 30, 40}) expected.push_back({x, y, x + 10, y + 10});
  EXPECT_EQ(tiles, expected) << "the three tiles across the visible strip, each at its place in the grid";
}

}  // namespace
}  // namespace murmella::popup
