// Image sources, the picture cache and backgrounds, with an in-memory loader.
#include "MarkupRenderer.h"
#include "TestCanvas.h"

#include <gtest/gtest.h>

namespace murmella::popup {
namespace {

using namespace testing;

struct Scene {
  TTestCanvas Canvas;
  TTestLoader Loader;
  THTMLPictureCache Cache{Loader};
  TTestImageList List{3, {16, 16}};
  TTestShellIcons Shell;
  TPictureContainer Container;
  TMarkupRenderResult Out;
  TMarkupRenderInput In;
  Scene() {
    In.Bounds = {0, 0, 400, 400};
    In.Images = &List;
    In.PictureCache = &Cache;
    In.ShellIcons = &Shell;
    In.PictureContainer = &Container;
  }
  const TMarkupRenderResult& Paint(std::string_view m) {
    In.Markup = m;
    RenderMarkup(Canvas, In, Out);
    return Out;
  }
};

TEST(Images, ImageListIndexes) {
  Scene s;
  s.Paint("a<IMG src=\"idx:0\">b");
  ASSERT_EQ(s.Canvas.Images.size(), 1u);
  EXPECT_EQ(s.Canvas.Images[0].What, "idx0");
  EXPECT_EQ(s.Canvas.Images[0].Rect, (TRect{1 + 4, 0, 1 + 4 + 16, 16})) << "hangs from the line top";
  EXPECT_EQ(s.Out.ContentWidth, 4 + 16 + 4 + 2);
  EXPECT_EQ(s.Out.ContentHeight, 16);
  EXPECT_EQ(s.Canvas.Runs[1].Box.Bottom, 16) << "text sits on the image's bottom";

  Scene out;
  out.Paint("a<IMG src=\"idx:5\">b");
  EXPECT_TRUE(out.Canvas.Images.empty());
  EXPECT_EQ(out.Out.ContentWidth, 8 + 2);

  Scene scaled;
  scaled.Canvas.Ppi = 120;
  scaled.Paint("<IMG src=\"IDX:1\">");
  EXPECT_EQ(scaled.Out.ContentWidth, 20 + 2);
  EXPECT_EQ(scaled.Canvas.Images[0].Rect.Width(), 16) << "drawn at the list's own size";
}

TEST(Images, AlignTopMiddleAndWrap) {
  Scene t;
  t.In.Images = nullptr;
  t.Loader.Resources["BIG"] = TestPictureBytes(10, 43);
  t.Paint("<IMG src=\"res://BIG\" align=\"top\">x");
  EXPECT_EQ(t.Canvas.Runs[0].Box.Bottom, 13) << "text aligned with the image's top";
  Scene m;
  m.Loader.Resources["BIG"] = TestPictureBytes(10, 43);
  m.Paint("<IMG src=\"res://BIG\" align=\"middle\">x");
  EXPECT_EQ(m.Canvas.Runs[0].Box.Bottom, 43 - 15);
  Scene w;
  w.Loader.Resources["BIG"] = TestPictureBytes(10, 43);
  w.Paint("<IMG src=\"res://BIG\" wrap>x");
  EXPECT_EQ(w.Out.ContentHeight, 13);
}

TEST(Images, ImageFillsLineWhenItDoesNotFit) {
  Scene s;
  s.In.Bounds = {0, 0, 31, 400};  // line width 30
  s.Paint("abcd<IMG src=\"idx:0\">");
  ASSERT_EQ(s.Canvas.Images.size(), 1u);
  EXPECT_EQ(s.Canvas.Images[0].Rect.Top, 13);
  EXPECT_EQ(s.Canvas.Images[0].Rect.Left, 1);
}

TEST(Images, HitOnImageInsideLink) {
  Scene s;
  s.In.HitMode = true;
  s.In.Point = {1 + 4 + 8, 8};
  s.Paint("a<A href=\"pic\"><IMG src=\"idx:0\"></A>");
  EXPECT_TRUE(s.Out.HitLink);
  EXPECT_EQ(s.Out.HitTarget, "pic");
  EXPECT_TRUE(s.Out.HitRect.IsEmpty()) << "no closed text link was hit";
  s.In.Point = {1 + 4 + 20, 8};
  s.Paint("a<A href=\"pic\"><IMG src=\"idx:0\"></A>");
  EXPECT_FALSE(s.Out.HitLink);
}

TEST(Images, ShellIconsNeverAskForNetworkNames) {
  Scene s;
  s.Paint("<IMG src=\"SSYS:3\"><IMG src=\"LSYS:C:\\file.txt\"><IMG src=\"SSYS:\\\\server\\share\\x.exe\">"
          "<IMG src=\"lsys://server/share\"><IMG src=\"SSYS:\\\\?\\UNC\\server\\s\">");
  ASSERT_FALSE(s.Shell.Asked.empty());
  for (const auto& name : s.Shell.Asked) EXPECT_EQ(name, "C:\\file.txt");
  ASSERT_EQ(s.Canvas.Images.size(), 2u);
  EXPECT_EQ(s.Canvas.Images[0].What, "ssys3");
  EXPECT_EQ(s.Canvas.Images[1].What, "lsys7");
  EXPECT_EQ(s.Out.ContentWidth, 16 + 32 + 16 + 32 + 16 + 2) << "refused names draw nothing but take the icon size";
}

TEST(Images, ShellIconSizeWhateverTheIndex) {
  for (const char* src : {"SSYS:-1", "SSYS:", "SSYS:-0x5"}) {
    Scene s;
    s.Paint(std::string("<IMG src=\"") + src + "\">");
    EXPECT_EQ(s.Out.ContentWidth, 16 + 2) << src;
    EXPECT_TRUE(s.Canvas.Images.empty()) << src;
  }
}

TEST(Images, ZeroWidthImageStartsTheNextLineAfterAnOverwideWord) {
  Scene s;
  s.In.Bounds = {0, 0, 1 + 4 * 5, 400};
  s.Paint("abcdefgh<IMG src=\"idx:9\"><BR>x");
  EXPECT_EQ(s.Out.ContentHeight, 3 * 13) << "the word, the image with its break, then x";
}

TEST(Images, PictureCacheSources) {
  Scene s;
  s.Loader.Files["C:\\a.gif"] = TestPictureBytes(20, 10);
  s.Paint("<IMG src=\"file://C:\\a.gif\"><IMG src=\"file://C:\\missing.gif\"><IMG src=\"http://example.com/x.gif\">"
          "<IMG src=\"file://\\\\attacker\\share\\x.gif\"><IMG src=\"FILE:////attacker/share/x.gif\">"
          "<IMG src=\"file://C:\\a.gif\" width=\"7\" height=\"9\">");
  EXPECT_EQ(s.Loader.FilesAsked, (std::vector<std::string>{"C:\\a.gif", "C:\\missing.gif"}));
  EXPECT_EQ(s.Cache.Count(), 5u);
  EXPECT_EQ(s.Out.ContentWidth, 20 + 7 + 2);
  ASSERT_EQ(s.Canvas.Images.size(), 2u);
  EXPECT_EQ(s.Canvas.Images[1].Rect, (TRect{1 + 20, 0, 1 + 27, 9})) << "stretched to WIDTH by HEIGHT";
  const THTMLPicture* web = s.Cache.Find("http://example.com/x.gif");
  ASSERT_NE(web, nullptr);
  EXPECT_TRUE(web->Empty());
  EXPECT_FALSE(web->Asynchronous);
  s.Paint("<IMG src=\"http://example.com/x.gif\">");
  EXPECT_EQ(s.Cache.Count(), 5u) << "found in the cache again";
  EXPECT_EQ(s.Loader.FilesAsked.size(), 2u);
}

TEST(Images, UndecodableResourceRaisesOnce) {
  Scene s;
  s.Loader.Resources["BAD"] = {1, 2, 3};
  s.In.Markup = "x<IMG src=\"RES://BAD\">";
  try {
    RenderMarkup(s.Canvas, s.In, s.Out);
    FAIL() << "no error";
  } catch (const EPictureError& e) {
    EXPECT_STREQ(e.what(), kInvalidImageFormat);
  }
  EXPECT_EQ(s.Canvas.Font(), TMarkupFont{}) << "canvas restored when the error passes";
  EXPECT_NO_THROW(s.Paint("x<IMG src=\"RES://BAD\">"));
  EXPECT_EQ(s.Out.ContentWidth, 4 + 2);
  EXPECT_EQ(s.Loader.Decodes, 1);
  EXPECT_NO_THROW(s.Paint("<IMG src=\"RES://NONE\">"));
}

TEST(Images, ContainerPicturesByName) {
  Scene s;
  s.Container.Add("Logo").Picture.LoadFromBytes(TestPictureBytes(12, 8), s.Loader);
  s.Paint("<IMG src=\"LOGO\"><IMG src=\"other\">");
  EXPECT_EQ(s.Out.ContentWidth, 12 + 2);
}

TEST(Backgrounds, BodyGradientColourAndPictures) {
  Scene g;
  g.In.Bounds = {0, 0, 128, 64};
  g.Paint("<BODY bgcolor=\"#FF0000\" bgcolorto=\"#0000FF\" dir=\"v\">x");
  ASSERT_EQ(g.Canvas.Fills.size(), 64u);
  EXPECT_EQ(g.Canvas.Fills[0].Color, 0x0000FFu);
  EXPECT_EQ(g.Canvas.Fills[0].Rect, (TRect{0, 0, 128, 2}));
  EXPECT_EQ(g.Canvas.Fills[63].Rect, (TRect{0, 63, 128, 64}));
  EXPECT_EQ(g.Canvas.Fills[32].Color, 0x80007Fu) << "255 - 127.5 rounds to even";
  EXPECT_EQ(g.Canvas.Fills[63].Color, 0xFB0004u);
  EXPECT_EQ(g.Canvas.Runs[0].Background, clNone) << "the brush is left clear";

  Scene c;
  c.Paint("<BODY bgcolor=\"#00FF00\">x</FONT>y");
  ASSERT_EQ(c.Canvas.Fills.size(), 1u);
  EXPECT_EQ(c.Canvas.Fills[0].Rect, (TRect{-2, 0, 400, 400}));
  EXPECT_EQ(c.Canvas.Runs[0].Background, 0x00FF00u);
  EXPECT_EQ(c.Canvas.Runs[1].Background, clNone) << "</FONT> restores the brush remembered by BODY";

  Scene t;
  t.In.Bounds = {0, 0, 50, 30};
  t.Loader.Resources["TILE"] = TestPictureBytes(20, 20);
  t.Paint("<BODY background=\"RES://TILE\" bgtopright=\"idx:1\">x");
  ASSERT_EQ(t.Canvas.Images.size(), 6u + 1u);
  EXPECT_EQ(t.Canvas.Images[5].Rect.Left, 40);
  EXPECT_EQ(t.Canvas.Images[5].Rect.Top, 20);
  EXPECT_EQ(t.Canvas.Images[6].What, "idx1");
  EXPECT_EQ(t.Canvas.Images[6].Rect.Left, 50 - 16);
  EXPECT_EQ(t.Canvas.ClipDepth, 0);

  Scene hi;  // at 192 pixels per inch the tiles still step by the picture's own 20 by 20
  hi.Canvas.Ppi = 192;
  hi.In.Bounds = {0, 0, 40, 20};
  hi.Loader.Resources["TILE"] = TestPictureBytes(20, 20);
  hi.Paint("<BODY background=\"RES://TILE\">x");
  ASSERT_EQ(hi.Canvas.Images.size(), 2u);
  EXPECT_EQ(hi.Canvas.Images[1].Rect.Left, 20);
}

TEST(Backgrounds, ParagraphBands) {
  Scene s;
  s.Paint("<P bgcolor=\"#0000FF\">a<BR>b</P>c");
  ASSERT_GE(s.Canvas.Fills.size(), 2u);
  EXPECT_EQ(s.Canvas.Fills[0].Rect, (TRect{0, 0, 400, 13}));
  EXPECT_EQ(s.Canvas.Fills[1].Rect, (TRect{0, 13, 400, 26})) << "each later line fills its band";
  EXPECT_EQ(s.Canvas.Runs.back().Background, clNone);
}

// A page may name a new picture on every call: the cache stays within its limits, oldest use
// first, a picture that cannot be decoded keeps no bytes, and what a render holds stays.
TEST(Images, PictureCacheStaysBounded) {
  TTestLoader loader;
  for (int i = 0; i < 12; ++i) loader.Files["p" + std::to_string(i) + ".bmp"] = TestPictureBytes(100, 100);
  loader.Files["bad.bmp"] = TBytes(5000, 7);
  const std::size_t one = loader.Files["p0.bmp"].size();
  TPictureCacheLimits limits;
  limits.Pictures = 8;
  limits.Bytes = 5 * one;
  limits.Pixels = 4 * 100 * 100;
  THTMLPictureCache cache(loader, limits);
  auto obtain = [&](const std::string& name) { return &cache.Obtain("FILE://" + name); };
  for (int i = 0; i < 12; ++i) {
    cache.StartRender();
    EXPECT_FALSE(obtain("p" + std::to_string(i) + ".bmp")->Empty());
    EXPECT_LE(cache.Count(), limits.Pictures);
    EXPECT_LE(cache.ByteCount(), limits.Bytes);
    EXPECT_LE(cache.PixelCount(), limits.Pixels);
  }
  EXPECT_EQ(cache.Count(), 4u) << "the pixel limit is the tightest here";
  EXPECT_EQ(cache.Find("FILE://p7.bmp"), nullptr) << "the oldest went first";
  EXPECT_NE(cache.Find("FILE://p8.bmp"), nullptr);

  // A use makes a picture the newest: p8 outlives p9 now.
  cache.StartRender();
  obtain("p8.bmp");
  cache.StartRender();
  obtain("p0.bmp");
  EXPECT_NE(cache.Find("FILE://p8.bmp"), nullptr);
  EXPECT_EQ(cache.Find("FILE://p9.bmp"), nullptr);

  // Undecodable: kept (not read again), without its bytes.
  cache.StartRender();
  const std::size_t bytes = cache.ByteCount();
  THTMLPicture* bad = obtain("bad.bmp");
  EXPECT_TRUE(bad->Empty());
  EXPECT_EQ(bad->ByteCount(), 0u);
  EXPECT_EQ(cache.ByteCount() <= bytes, true);
  const std::size_t reads = loader.FilesAsked.size();
  cache.StartRender();
  EXPECT_EQ(obtain("bad.bmp"), bad);
  EXPECT_EQ(loader.FilesAsked.size(), reads) << "not read again";

  // Within one render nothing it obtained is dropped: a picture that does not fit is not loaded.
  cache.StartRender();
  std::vector<THTMLPicture*> held;
  for (int i = 0; i < 6; ++i) held.push_back(obtain("p" + std::to_string(i) + ".bmp"));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cache.Find("FILE://p" + std::to_string(i) + ".bmp"), held[i]) << i;
  EXPECT_EQ(cache.Find("FILE://p4.bmp"), nullptr) << "no room beside the four this render holds";
  EXPECT_EQ(cache.Count(), 4u);
  EXPECT_LE(cache.PixelCount(), limits.Pixels);
}

}  // namespace
}  // namespace murmella::popup
