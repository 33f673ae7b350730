// Layout, drawing and hit testing of the markup on a canvas with fixed metrics: a character
// is Size/2 pixels wide (+1 bold) and every line Size + 5 pixels high (8 points: 4 and 13).
#include "MarkupRenderer.h"
#include "TestCanvas.h"

#include <gtest/gtest.h>

namespace murmella::popup {
namespace {

using testing::TTestCanvas;

const std::string kNoticePrefix = "<B>Murmellachat</B><br><FONT color=\"#FF0000\">";
const std::string kNoticeSuffix = "</FONT> is ONLINE.";

struct Renderer {
  TTestCanvas Canvas;
  TMarkupRenderResult Out;
  TMarkupRenderInput In;
  Renderer() { In.Bounds = {10, 20, 410, 420}; }
  const TMarkupRenderResult& Paint(std::string_view markup) {
    In.Markup = markup;
    In.HitMode = false;
    In.Point = {};
    RenderMarkup(Canvas, In, Out);
    return Out;
  }
  const TMarkupRenderResult& Hit(std::string_view markup, TPoint p) {
    In.Markup = markup;
    In.HitMode = true;
    In.HoverStyle = false;
    In.HoverNumber = -1;
    In.Point = p;
    Canvas.ClearRecords();
    RenderMarkup(Canvas, In, Out);
    return Out;
  }
};

TEST(RendererNotice, TwoLinesBoldProductThenRedNameInBaseColour) {
  Renderer r;
  r.In.Bounds = {5, 7, 5, 7 + 4096};  // the popup's auto-size rectangle: zero width, nothing wraps
  const auto& out = r.Paint(kNoticePrefix + "Visitor7" + kNoticeSuffix);
  ASSERT_GE(r.Canvas.Runs.size(), 3u);
  const auto& product = r.Canvas.Runs[0];
  EXPECT_EQ(product.Shown, "Murmellachat");
  EXPECT_TRUE(product.Font.Style & fsBold);
  EXPECT_EQ(product.Box, (TRect{6, 7, 6 + 12 * 5, 7 + 13}));
  const auto& name = r.Canvas.Runs[1];
  EXPECT_EQ(name.Shown, "Visitor7");
  EXPECT_EQ(name.Font.Color, 0x0000FFu);
  EXPECT_FALSE(name.Font.Style & fsBold);
  EXPECT_EQ(name.Box.Top, 7 + 13);
  EXPECT_EQ(name.Box.Bottom, 7 + 26);
  std::string rest;
  for (std::size_t i = 2; i < r.Canvas.Runs.size(); ++i) {
    rest += r.Canvas.Runs[i].Shown;
    EXPECT_EQ(r.Canvas.Runs[i].Font.Color, clWindowText);
    EXPECT_EQ(r.Canvas.Runs[i].Box.Top, 7 + 13);
  }
  EXPECT_EQ(rest, " is ONLINE.");
  EXPECT_EQ(out.ContentHeight, 26);
  EXPECT_EQ(out.ContentWidth, 4 * (8 + 11) + 2);  // the wider second line plus 2
  EXPECT_EQ(r.Canvas.Font(), TMarkupFont{});       // canvas font restored
}

TEST(RendererText, EntitiesInsideRuns) {
  Renderer r;
  r.In.Bounds = {0, 0, 1 + 4 * 5, 400};  // room for "a b c" (5 chars) and no more
  r.Paint("xx a&nbsp;b");
  EXPECT_EQ(r.Canvas.Runs.back().Shown, "a b");
  EXPECT_EQ(r.Canvas.Runs.back().Box.Top, 13) << "a&nbsp;b moves to the next line as one word";
  r.Canvas.ClearRecords();
  r.Paint("&lt;B&gt;x");
  EXPECT_EQ(r.Canvas.AllText(), "<B>x");
  for (const auto& run : r.Canvas.Runs) EXPECT_FALSE(run.Font.Style & fsBold);
}

TEST(RendererText, SpaceAmpersandSpaceSwitchesOffPrefixProcessing) {
  Renderer r;
  r.Paint("Tom & Jerry &amp; co");
  EXPECT_EQ(r.Canvas.AllText(), "Tom & Jerry && co");
  r.Canvas.ClearRecords();
  r.Paint("Tom&amp;Jerry");
  EXPECT_EQ(r.Canvas.AllText(), "Tom&Jerry");
  r.Canvas.ClearRecords();
  r.Paint("A&B");
  ASSERT_EQ(r.Canvas.Runs.size(), 1u);
  EXPECT_EQ(r.Canvas.Runs[0].Shown, "AB");
  EXPECT_EQ(r.Canvas.Runs[0].PrefixUnderline, 1);
  EXPECT_EQ(r.Out.ContentWidth, 2 * 4 + 2);
}

TEST(RendererText, EmptyMarkupDrawsNothingAndIsOneLineHigh) {
  Renderer r;
  const auto& out = r.Paint("");
  EXPECT_TRUE(r.Canvas.Runs.empty());
  EXPECT_EQ(out.ContentWidth, 0);
  EXPECT_EQ(out.ContentHeight, 13);
}

TEST(RendererText, OverlongWordsStayOnTheirLine) {
  Renderer r;
  r.In.Bounds = {0, 0, 21, 400};  // line width 20: five characters
  r.Paint("ab abcdefghij cd");
  ASSERT_EQ(r.Canvas.Runs.size(), 3u);
  EXPECT_EQ(r.Canvas.Runs[0].Box.Top, 0);
  EXPECT_EQ(r.Canvas.Runs[1].Shown, "abcdefghij ");
  EXPECT_EQ(r.Canvas.Runs[1].Box.Top, 0) << "placed after other words, running past the edge";
  EXPECT_GT(r.Canvas.Runs[1].Box.Right, 21);
  EXPECT_EQ(r.Canvas.Runs[2].Box.Top, 13);
  EXPECT_EQ(r.Out.ContentWidth, 4 * 13 + 2) << "trailing space of the line not counted";
}

TEST(RendererText, ColourValuesAndNames) {
  struct Case {
    const char* Markup;
    TColor Color;
  } cases[] = {
      {"<FONT color=\"clRed\">x</FONT>", 0x0000FF},     {"<FONT color=\"red\">x</FONT>", 0x000000},
      {"<FONT color=\"#FF0000\">x</FONT>", 0x0000FF},   {"<FONT color=\"#ff0000\">x</FONT>", 0x0000FF},
      {"<FONT color=\"#00FF\">x</FONT>", 0x00FF00},     {"<FONT color=\"clInfoBk\">x</FONT>", 0x80000018},
      {"<FONT color=#FF0000>x</FONT>", clWindowText},  // unquoted: no colour
  };
  for (const auto& c : cases) {
    Renderer r;
    r.Paint(c.Markup);
    ASSERT_EQ(r.Canvas.Runs.size(), 1u) << c.Markup;
    EXPECT_EQ(r.Canvas.Runs[0].Font.Color, c.Color) << c.Markup;
  }
}

TEST(RendererText, FontSizesFaceAndRestore) {
  Renderer r;
  r.Paint("<FONT size=\"3\">a</FONT><FONT size=\"20\">b</FONT><FONT face=\"Arial\" size=5>c</FONT>d");
  ASSERT_EQ(r.Canvas.Runs.size(), 4u);
  EXPECT_EQ(r.Canvas.Runs[0].Font.Size, 12);
  EXPECT_EQ(r.Canvas.Runs[1].Font.Size, 20);
  EXPECT_EQ(r.Canvas.Runs[2].Font.Size, 16);
  EXPECT_EQ(r.Canvas.Runs[2].Font.Name, "ARIAL");
  EXPECT_EQ(r.Canvas.Runs[3].Font, TMarkupFont{});
  EXPECT_EQ(r.Out.ContentHeight, 25) << "the line is as tall as its tallest run";
  Renderer u;
  u.Paint("<FONT face=Arial>a");
  ASSERT_EQ(u.Canvas.Runs.size(), 1u);
  EXPECT_EQ(u.Canvas.Runs[0].Font.Name, "") << "an unquoted face names no face";
  for (const auto& run : r.Canvas.Runs) EXPECT_EQ(run.Box.Bottom, 20 + 25) << "runs share their bottom edge";
}

TEST(RendererText, PixelHeightAndCharsetCarriedUntilASizeInPoints) {
  Renderer r;
  TMarkupFont base;
  base.Name = "MS Shell Dlg 2";
  base.Height = -11;
  base.Charset = 238;
  r.Canvas.SetFont(base);
  r.Paint("a<B>b</B><FONT size=\"3\">c</FONT>d");
  ASSERT_EQ(r.Canvas.Runs.size(), 4u);
  for (int i : {0, 1, 3}) {
    EXPECT_EQ(r.Canvas.Runs[i].Font.Height, -11) << i;
    EXPECT_EQ(r.Canvas.Runs[i].Font.Charset, 238) << i;
  }
  EXPECT_EQ(r.Canvas.Runs[2].Font.Height, 0) << "a size in points replaces the pixel height";
  EXPECT_EQ(r.Canvas.Runs[2].Font.Size, 12);
  EXPECT_EQ(r.Canvas.Font(), base);
}

TEST(RendererText, TextIsTransparentUntilATagSetsTheBrush) {
  Renderer r;
  r.Canvas.SetBrushColor(clYellow);
  r.Paint("a <FONT bgcolor=\"#00FF00\">b </FONT>c");
  ASSERT_EQ(r.Canvas.Runs.size(), 3u);
  EXPECT_EQ(r.Canvas.Runs[0].Background, clNone) << "the caller's solid brush does not make text opaque";
  EXPECT_EQ(r.Canvas.Runs[1].Background, 0x00FF00u);
  EXPECT_EQ(r.Canvas.Runs[2].Background, clYellow) << "the remembered brush comes back, solid";
  EXPECT_TRUE(r.Canvas.BrushSolid());
  EXPECT_EQ(r.Canvas.BrushColor(), clYellow);
}

TEST(RendererText, LastPlacedRunDecidesTheTrailingSpace) {
  struct Case {
    const char* Markup;
    int Width;
  } cases[] = {
      {"Hello", 5 * 4 + 2},
      {"Hello ", 5 * 4 + 2},
      {"Hello <BR>", 5 * 4 + 2},      // the tag follows its run in the same step
      {"Hello <B><BR>", 6 * 4 + 2},   // the empty run between the tags ends with no space
      {"Hello <B>x</B>", 7 * 4 + 1 + 2},
      {"Hello <B></B>", 6 * 4 + 2},
  };
  for (const Case& c : cases) {
    Renderer r;
    EXPECT_EQ(r.Paint(c.Markup).ContentWidth, c.Width) << c.Markup;
  }
}

TEST(RendererText, HugeFontSizeIsBounded) {
  Renderer r;
  r.Paint("<FONT size=\"99999999999\">x</FONT>");
  ASSERT_EQ(r.Canvas.Runs.size(), 1u);
  EXPECT_LE(r.Canvas.Runs[0].Font.Size, 1000);
}

TEST(RendererText, SubscriptOnlyWithExactTag) {
  Renderer r;
  r.Paint("a<sub>b</sub>");
  EXPECT_EQ(r.Out.ContentHeight, 13 + 13 / 4);
  ASSERT_EQ(r.Canvas.Runs.size(), 2u);
  EXPECT_EQ(r.Canvas.Runs[1].Box.Bottom - r.Canvas.Runs[0].Box.Bottom, 3) << "subscript sits lower";
  Renderer s;
  s.Paint("a<SUB x>b</sub>");
  EXPECT_EQ(s.Out.ContentHeight, 13);
  Renderer u;
  u.Paint("a<sup>b</sup>");
  EXPECT_EQ(u.Canvas.Runs[0].Box.Bottom - u.Canvas.Runs[1].Box.Bottom, 3) << "superscript sits higher";
}

TEST(RendererText, HiddenTextTakesNoWidthButHeight) {
  Renderer r;
  r.Paint("a<Z><FONT size=\"20\">hidden</FONT></Z>b");
  EXPECT_EQ(r.Canvas.AllText(), "ab");
  EXPECT_EQ(r.Out.ContentWidth, 8 + 2);
  EXPECT_EQ(r.Out.ContentHeight, 25);
}

TEST(RendererLists, ItemsBulletsAndDepth) {
  Renderer r;
  r.Paint("<LI>x");
  ASSERT_EQ(r.Canvas.TextOuts.size(), 1u);
  EXPECT_EQ(r.Canvas.TextOuts[0].Text, "o");
  EXPECT_EQ(r.Canvas.TextOuts[0].At, (TPoint{11 - 12, 20})) << "outside any list 12 pixels left";
  EXPECT_EQ(r.Canvas.TextOuts[0].Font.Name, "Symbol");
  EXPECT_EQ(r.Canvas.Runs[0].Font.Name, "MS Sans Serif");

  Renderer l;
  l.Paint("<UL><LI>one<LI>two</UL>");
  ASSERT_EQ(l.Canvas.TextOuts.size(), 2u);
  EXPECT_EQ(l.Canvas.TextOuts[0].Text, "·") << "the Symbol face's bullet, U+00B7";
  EXPECT_EQ(l.Canvas.TextOuts[0].At.X, 11);
  EXPECT_EQ(l.Canvas.TextOuts[1].At.Y, l.Canvas.TextOuts[0].At.Y + 13) << "a second item starts a new line";
  ASSERT_EQ(l.Canvas.Runs.size(), 2u);
  EXPECT_EQ(l.Canvas.Runs[0].Box.Left, 11 + 12);

  Renderer d;
  d.Paint("<UL><UL><LI>x</UL></UL>");
  ASSERT_EQ(d.Canvas.TextOuts.size(), 1u);
  EXPECT_EQ(d.Canvas.TextOuts[0].Text, "o");
  EXPECT_EQ(d.Canvas.TextOuts[0].At.X, 11 + 12);
}

TEST(RendererLines, BreaksAndRules) {
  Renderer r;
  r.Paint("<BR><BR>");
  EXPECT_EQ(r.Out.ContentHeight, 26);
  Renderer f;
  f.Paint("<FONT size=\"20\"><BR>x<BR><BR>y");
  EXPECT_EQ(f.Out.ContentHeight, 13 + 25 + 25 + 25) << "a line holding only <BR> has its starting font's height";
  Renderer h;
  h.Paint("a<HR>b");
  ASSERT_EQ(h.Canvas.Lines.size(), 1u);
  EXPECT_EQ(h.Canvas.Lines[0].From, (TPoint{11, 20 + 13 + 1}));
  EXPECT_EQ(h.Canvas.Lines[0].To, (TPoint{410, 20 + 13 + 1}));
  EXPECT_EQ(h.Canvas.Lines[0].Color, clBlack);
  Renderer cr;
  cr.Paint("a\r\nb");
  EXPECT_EQ(cr.Out.ContentHeight, 26);
}

TEST(RendererLines, HashNameShownOnceThenTag) {
  Renderer r;
  r.Paint("<#NAME> and <#X>y");
  EXPECT_EQ(r.Canvas.AllText(), "#NAME and y");
}

TEST(RendererLines, OverflowDropsTheRest) {
  Renderer r;
  r.In.Bounds = {0, 0, 400, 30};
  const auto& out = r.Paint("1<BR>2<BR>3<BR>4");
  EXPECT_EQ(r.Canvas.AllText(), "12") << "the second line reaches past 30 - 13 and ends the text";
  EXPECT_EQ(out.ContentHeight, 26);
}

TEST(RendererLines, AlignmentAndIndent) {
  Renderer r;
  r.In.Bounds = {0, 0, 101, 400};
  r.Paint("<P align=\"right\">ab</P><P align=\"center\" indent=\"3\">cd");
  ASSERT_EQ(r.Canvas.Runs.size(), 2u);
  EXPECT_EQ(r.Canvas.Runs[0].Box.Left, 101 - 8);
  EXPECT_EQ(r.Canvas.Runs[1].Box.Left, 1 + (100 - 8) / 2 + 3);
}

TEST(RendererTags, UnclosedAndStrayTags) {
  Renderer r;
  r.Paint("<B>a<I>b");
  ASSERT_EQ(r.Canvas.Runs.size(), 2u);
  EXPECT_EQ(r.Canvas.Runs[1].Font.Style, unsigned(fsBold | fsItalic));
  Renderer s;
  s.Paint("</B></I></U></S></H></R></UL><FOO>a");
  ASSERT_EQ(s.Canvas.Runs.size(), 1u);
  EXPECT_EQ(s.Canvas.Runs[0].Font, TMarkupFont{});
  Renderer t;
  t.Paint("a < b");
  EXPECT_EQ(t.Canvas.AllText(), "a ");
  Renderer u;
  u.Paint("a<");
  EXPECT_EQ(u.Canvas.AllText(), "a");
}

TEST(RendererTags, OffsetsIndentsAndRotation) {
  Renderer r;
  r.Paint("<OF x=\"30\">a<BR>b</O><BR>c");
  ASSERT_EQ(r.Canvas.Runs.size(), 3u);
  EXPECT_EQ(r.Canvas.Runs[0].Box.Left, 30) << "a canvas coordinate";
  EXPECT_EQ(r.Canvas.Runs[1].Box.Left, 11 + 30) << "carried to the next line";
  EXPECT_EQ(r.Canvas.Runs[2].Box.Left, 11) << "cleared by </O>";
  Renderer i;
  i.Paint("ab<IN x=\"50\">c<IN x=\"5\">d");
  ASSERT_EQ(i.Canvas.Runs.size(), 3u);
  EXPECT_EQ(i.Canvas.Runs[1].Box.Left, 10 + 50);
  EXPECT_EQ(i.Canvas.Runs[2].Box.Left, 10 + 54) << "an indent left of the text does nothing";
  EXPECT_EQ(i.Out.ContentWidth, 58 + 2);
  Renderer t;
  t.Paint("<R a=\"90\">x</R>y</R>z");
  ASSERT_EQ(t.Canvas.Runs.size(), 3u);
  EXPECT_EQ(t.Canvas.Runs[0].Font.Escapement, 900);
  EXPECT_EQ(t.Canvas.Runs[1].Font.Escapement, 0);
  EXPECT_EQ(t.Canvas.Runs[2].Font, TMarkupFont{});
  Renderer m;
  m.Paint("<R a=\"370\">x</R><R a=\"-725\">y");
  ASSERT_EQ(m.Canvas.Runs.size(), 2u);
  EXPECT_EQ(m.Canvas.Runs[0].Font.Escapement, 100) << "degrees modulo 360";
  EXPECT_EQ(m.Canvas.Runs[1].Font.Escapement, -50) << "the remainder keeps the sign";
}

TEST(RendererTags, HighlightShadowAndWavy) {
  Renderer r;
  r.Paint("<HI>a</HI><SH>b</SH><E>c</E>");
  ASSERT_EQ(r.Canvas.Runs.size(), 4u);
  EXPECT_EQ(r.Canvas.Runs[0].Background, clHighlight);
  EXPECT_EQ(r.Canvas.Runs[0].Font.Color, clHighlightText);
  EXPECT_EQ(r.Canvas.Runs[1].Font.Color, clGray);
  EXPECT_EQ(r.Canvas.Runs[1].Box.Left, r.Canvas.Runs[2].Box.Left + 1);
  EXPECT_EQ(r.Canvas.Runs[2].Background, clNone);
  ASSERT_FALSE(r.Canvas.Lines.empty());
  for (const auto& l : r.Canvas.Lines) {
    EXPECT_EQ(l.Color, clRed);
    EXPECT_TRUE(l.To.Y == 20 + 13 - 1 || l.To.Y == 20 + 13 + 1);
  }
}

TEST(RendererHit, LinksAcrossLines) {
  Renderer r;
  r.In.Bounds = {0, 0, 41, 400};  // ten characters a line
  const std::string markup = "ab <A href=\"t1\">link text wraps</A> x <A href=\"t2\">z</A>";
  // "ab link " on line 1, "text " on 2, "wraps x z" on 3.
  auto out = r.Hit(markup, {1 + 4 * 4, 5});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "t1");
  EXPECT_EQ(out.HitNumber, 1);
  out = r.Hit(markup, {3, 13 + 5});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "t1");
  out = r.Hit(markup, {3, 26 + 5});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "t1");
  EXPECT_EQ(out.HitRect, (TRect{1, 26, 1 + 20, 39})) << "the link's part on its closing line";
  out = r.Hit(markup, {1 + 32 + 2, 26 + 5});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "t2");
  EXPECT_EQ(out.HitNumber, 2);
  EXPECT_EQ(out.HitRect, (TRect{1 + 32, 26, 1 + 36, 39}));
  out = r.Hit(markup, {3, 5});
  EXPECT_FALSE(out.HitLink);
  out = r.Hit(markup, {3, 200});
  EXPECT_FALSE(out.HitLink);
}

TEST(RendererHit, OnlyTheLinkUnderThePointAnswers) {
  Renderer r;
  r.In.Bounds = {0, 0, 400, 400};
  // A link on line 1 and another on line 2; "plain" on line 2 lies under the first link.
  const std::string markup = "<A href=\"one\">first</A><BR>plain <A href=\"two\">second</A>";
  struct Case {
    TPoint Point;
    bool Link;
    const char* Target;
    int Number;
    TRect Rect;
  } cases[] = {
      {{1 + 8, 5}, true, "one", 1, {1, 0, 1 + 20, 13}},
      {{1 + 8, 13 + 5}, false, "", -1, {}},  // below the first link, over plain text
      {{1 + 6 * 4 + 8, 13 + 5}, true, "two", 2, {1 + 24, 13, 1 + 48, 26}},
      {{1 + 8, 26 + 5}, false, "", -1, {}},  // below everything
  };
  for (const Case& c : cases) {
    const auto& out = r.Hit(markup, c.Point);
    EXPECT_EQ(out.HitLink, c.Link) << c.Point.X << "," << c.Point.Y;
    EXPECT_EQ(out.HitTarget, c.Target) << c.Point.X << "," << c.Point.Y;
    EXPECT_EQ(out.HitNumber, c.Number) << c.Point.X << "," << c.Point.Y;
    EXPECT_EQ(out.HitRect, c.Rect) << c.Point.X << "," << c.Point.Y;
  }
  // A link running over three lines, hit on the middle one: its part on that line.
  Renderer w;
  w.In.Bounds = {0, 0, 41, 400};
  const auto& out = w.Hit("ab <A href=\"t1\">link text wraps</A> x", {3, 13 + 5});
  EXPECT_EQ(out.HitNumber, 1);
  EXPECT_EQ(out.HitRect, (TRect{1, 13, 1 + 16, 26}));
}

TEST(RendererHit, HoverUnderlinesOnlyTheHoveredLink) {
  Renderer r;
  r.In.HoverStyle = true;
  r.In.HoverNumber = 2;
  r.Paint("<A href=\"a\">x</A><A href=\"b\">y</A>");
  ASSERT_EQ(r.Canvas.Runs.size(), 2u);
  EXPECT_FALSE(r.Canvas.Runs[0].Font.Style & fsUnderline);
  EXPECT_TRUE(r.Canvas.Runs[1].Font.Style & fsUnderline);
  EXPECT_EQ(r.Canvas.Runs[0].Font.Color, clBlue);
  Renderer all;
  all.Paint("<A href=\"a\">x</A>y");
  EXPECT_TRUE(all.Canvas.Runs[0].Font.Style & fsUnderline);
  EXPECT_FALSE(all.Canvas.Runs[1].Font.Style & fsUnderline);
  EXPECT_EQ(all.Canvas.Runs[1].Font.Color, clWindowText);
}

TEST(RendererHit, UnclosedLinkStillHitsWithoutNumber) {
  Renderer r;
  const auto& out = r.Hit("<A href=\"open\">never closed", {13, 25});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "open");
  EXPECT_EQ(out.HitNumber, -1);
  EXPECT_TRUE(out.HitRect.IsEmpty());
}

TEST(RendererHit, HitModeDrawsNothing) {
  Renderer r;
  r.Hit("<BODY bgcolor=\"#FF0000\"><P bgcolor=\"#00FF00\">a<HR><LI>b<E>c", {0, 0});
  EXPECT_TRUE(r.Canvas.Runs.empty());
  EXPECT_TRUE(r.Canvas.Fills.empty());
  EXPECT_TRUE(r.Canvas.Lines.empty());
  EXPECT_TRUE(r.Canvas.TextOuts.empty());
}

}  // namespace
}  // namespace murmella::popup
