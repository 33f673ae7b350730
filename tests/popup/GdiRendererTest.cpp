// The renderer on GDI with the platform's fonts, image lists, shell and picture decoder.
// Expected geometry is measured at run time with the same fonts, never written down.
#include "DibSurface.h"
#include "GdiCanvas.h"
#include "MarkupRenderer.h"
#include "ImageListWin.h"
#include "LocalPath.h"
#include "MarkupValues.h"
#include "ReadBackCanvas.h"
#include "ShellIconsWin.h"
#include "Utf8Text.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace murmella::popup {
namespace {

constexpr int kW = 640, kH = 400;

// A white surface of the test's size, whose pixels the test reads back.
class TSurface : public test::TDibSurface {
 public:
  TSurface() : TDibSurface(kW, kH) {}
  bool AnyPixel(TRect r, std::uint32_t rgb) const {
    for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, kH); ++y)
      for (int x = std::max(r.Left, 0); x < std::min(r.Right, kW); ++x)
        if (Pixel(x, y) == rgb) return true;
    return false;
  }
};

// The source tree's file seen through Wine's Z: drive.
std::string TestGifPath() {
  std::string p = "Z:" MURMELLA_TEST_GIF;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

TMarkupFont PopupFont() {
  TMarkupFont f;
  f.Name = "MS Sans Serif";
  f.Size = 8;
  f.Color = 0x000000;
  return f;
}

// Width of a run as DrawTextEx measures it in a font made independently of the canvas.
int Measure(HDC dc, const char* text, bool bold, int* lineHeight = nullptr) {
  LOGFONTA lf{};
  lf.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpyA(lf.lfFaceName, "MS Sans Serif");
  HFONT f = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc, f);
  std::string s(text);
  RECT rc{0, 0, 0, 0};
  DrawTextExA(dc, s.data(), static_cast<int>(s.size()), &rc,
              DT_SINGLELINE | DT_BOTTOM | DT_EXPANDTABS | DT_EXTERNALLEADING | DT_CALCRECT, nullptr);
  if (lineHeight) {
    SIZE sz{};
    GetTextExtentPoint32A(dc, "gh", 2, &sz);
    *lineHeight = sz.cy;
  }
  SelectObject(dc, old);
  DeleteObject(f);
  return rc.right - rc.left;
}

class GdiRenderer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  TMarkupRenderResult Render(std::string_view markup, TRect bounds = {0, 0, kW, kH}, bool hit = false,
                             TPoint point = {}) {
    TGdiCanvas canvas(Surface.Dc(), PopupFont());
    TMarkupRenderInput in;
    in.Markup = markup;
    in.Bounds = bounds;
    in.Images = Images;
    in.PictureCache = &Cache;
    in.ShellIcons = &Shell;
    in.HitMode = hit;
    in.Point = point;
    TMarkupRenderResult out;
    RenderMarkup(canvas, in, out);
    return out;
  }
  TSurface Surface;
  THTMLPictureCache Cache;
  TSystemShellIcons Shell;
  const TMarkupImageList* Images = nullptr;
};

TEST_F(GdiRenderer, NoticeSizeAndColours) {
  int gh = 0;
  const int product = Measure(Surface.Dc(), "Murmellachat", true, &gh);
  const int second = Measure(Surface.Dc(), "Visitor7", false) + Measure(Surface.Dc(), " ", false) +
                     Measure(Surface.Dc(), "is ", false) + Measure(Surface.Dc(), "ONLINE.", false) -
                     Measure(Surface.Dc(), " ", false) * 0;
  ASSERT_GT(gh, 0);
  const auto out = Render("<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.", {5, 5, 5, 5 + 4096});
  EXPECT_EQ(out.ContentHeight, 2 * gh);
  EXPECT_EQ(out.ContentWidth, std::max(product, second) + 2);
  EXPECT_TRUE(Surface.AnyPixel({6, 5, 6 + product, 5 + gh}, 0x000000)) << "product name drawn in black";
  const int name = Measure(Surface.Dc(), "Visitor7", false);
  EXPECT_TRUE(Surface.AnyPixel({6, 5 + gh, 6 + name, 5 + 2 * gh}, 0xFF0000)) << "visitor in red";
  EXPECT_FALSE(Surface.AnyPixel({6 + name + 1, 5 + gh, kW, 5 + 2 * gh}, 0xFF0000)) << "the rest in the base colour";
}

TEST_F(GdiRenderer, LinkHitRectangles) {
  int gh = 0;
  const int go = Measure(Surface.Dc(), "go ", false, &gh), here = Measure(Surface.Dc(), "here", false);
  const std::string markup = "go <A href=\"target\">here</A> now";
  auto out = Render(markup, {0, 0, kW, kH}, true, {1 + go + here / 2, gh / 2});
  EXPECT_TRUE(out.HitLink);
  EXPECT_EQ(out.HitTarget, "target");
  EXPECT_EQ(out.HitNumber, 1);
  EXPECT_EQ(out.HitRect, (TRect{1 + go, 0, 1 + go + here, gh}));
  out = Render(markup, {0, 0, kW, kH}, true, {1 + go / 2, gh / 2});
  EXPECT_FALSE(out.HitLink);
  out = Render(markup, {0, 0, kW, kH}, true, {1 + go + here / 2, gh + 2});
  EXPECT_FALSE(out.HitLink) << "below the line";
}

TEST_F(GdiRenderer, GradientBandsReadBack) {
  Render("<BODY bgcolor=\"#FF0000\" bgcolorto=\"#0000FF\">", {0, 0, 128, 64});
  for (int band : {0, 1, 10, 32, 63}) {
    const int r = 255 - static_cast<int>(RoundHalfEven(band * 255.0 / 64)), b = static_cast<int>(RoundHalfEven(band * 255.0 / 64));
    EXPECT_EQ(Surface.Pixel(band * 2, 40), static_cast<std::uint32_t>(r << 16 | b)) << band;
  }
  EXPECT_EQ(Surface.Pixel(130, 40), 0xFFFFFFu) << "nothing outside the bounds";
  Surface.Clear();
  Render("<BODY bgcolor=\"#FF0000\" bgcolorto=\"#0000FF\" dir=\"v\">", {0, 0, 128, 64});
  EXPECT_EQ(Surface.Pixel(100, 0), 0xFF0000u);
  EXPECT_EQ(Surface.Pixel(100, 63), 0x0400FBu);
}

TEST_F(GdiRenderer, ImageListImages) {
  forms::TImageList list(nullptr, "ImageList1");
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::uint32_t* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) bits[y * 32 + x] = x < 16 ? 0x00FF00 : 0x0000FF;
  ASSERT_EQ(list.Add(bmp), 0);
  DeleteObject(bmp);
  ASSERT_EQ(list.Count(), 2);
  const TListImages images(list);
  Images = &images;
  const auto out = Render("<IMG src=\"idx:1\"><IMG src=\"IDX:7\">", {0, 0, kW, kH});
  EXPECT_EQ(out.ContentWidth, MulDiv(16, GetDeviceCaps(Surface.Dc(), LOGPIXELSX), 96) + 2);
  EXPECT_EQ(Surface.Pixel(1 + 8, 8), 0x0000FFu);
  EXPECT_EQ(Surface.Pixel(1 + 8, 17), 0xFFFFFFu) << "drawn at the list's size from the line top";
  Images = nullptr;
}

TEST_F(GdiRenderer, GifFileWithLogicalScreenSize) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "murmella_logical.gif";
  ASSERT_TRUE(CopyFileA(TestGifPath().c_str(), path.c_str(), FALSE));
  const std::string markup = "<IMG src=\"file://" + path + "\">";
  const auto out = Render(markup);
  EXPECT_EQ(out.ContentWidth, MulDiv(20, GetDeviceCaps(Surface.Dc(), LOGPIXELSX), 96) + 2);
  const THTMLPicture* pic = Cache.Find("file://" + path);
  ASSERT_NE(pic, nullptr);
  ASSERT_FALSE(pic->Empty());
  EXPECT_EQ(pic->Width(), 20);
  EXPECT_EQ(pic->Height(), 10);
  EXPECT_EQ(pic->FramePosition(), (TPoint{3, 2}));
  EXPECT_EQ(pic->FrameCount(), 1);
  DeleteFileA(path.c_str());
  const auto res = Render("<IMG src=\"RES://GOODGIF\">");
  EXPECT_EQ(res.ContentWidth, out.ContentWidth);
}

TEST_F(GdiRenderer, MissingFileAndWebAddressStayEmpty) {
  auto out = Render("a<IMG src=\"file://C:\\no\\such\\picture.gif\">");
  EXPECT_EQ(out.ContentWidth, Measure(Surface.Dc(), "a", false) + 2);
  const std::string web = "<IMG src=\"http://127.0.0.1:9/never.gif\">";
  out = Render(web);
  EXPECT_EQ(out.ContentWidth, 0);
  ASSERT_NE(Cache.Find("http://127.0.0.1:9/never.gif"), nullptr);
  EXPECT_TRUE(Cache.Find("http://127.0.0.1:9/never.gif")->Empty());
  const std::size_t count = Cache.Count();
  Render(web);
  EXPECT_EQ(Cache.Count(), count);
  EXPECT_TRUE(Cache.Find("http://127.0.0.1:9/never.gif")->Empty());
}

TEST_F(GdiRenderer, UndecodableResourceRaisesOnce) {
  try {
    Render("<IMG src=\"RES://BADPIC\">");
    FAIL() << "no error";
  } catch (const EPictureError& e) {
    const std::string m = e.what();
    EXPECT_TRUE(m == kInvalidImageFormat || m == kCouldNotLoadImage) << m;
  }
  EXPECT_NO_THROW(Render("<IMG src=\"RES://BADPIC\">"));
  EXPECT_EQ(Render("<IMG src=\"RES://BADPIC\">").ContentWidth, 0);
}

TEST_F(GdiRenderer, ShellIconsAndNetworkNamesTakeTheIconSize) {
  int w = 0, h = 0;
  SHFILEINFOA info{};
  auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA("x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                                          SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
  ASSERT_NE(list, nullptr);
  ImageList_GetIconSize(list, &w, &h);
  const int scaled = MulDiv(w, GetDeviceCaps(Surface.Dc(), LOGPIXELSX), 96);
  EXPECT_EQ(Render("<IMG src=\"SSYS:0\">").ContentWidth, scaled + 2);
  EXPECT_EQ(Render("<IMG src=\"SSYS:C:\\windows\">").ContentWidth, scaled + 2);
  EXPECT_EQ(Render("<IMG src=\"SSYS:no-such-file.txt\">").ContentWidth, scaled + 2);
  for (const char* name : {"\\\\127.0.0.1\\share\\x.txt", "//127.0.0.1/share/x.txt", "\\\\?\\UNC\\127.0.0.1\\s\\x.txt"})
    EXPECT_EQ(Render(std::string("<IMG src=\"SSYS:") + name + "\">").ContentWidth, scaled + 2)
        << name << ": never asked for, drawn as nothing, but sized as an icon";
}

TEST_F(GdiRenderer, LocalDiskPaths) {
  EXPECT_TRUE(IsLocalDiskPath("C:\\windows\\system32"));
  EXPECT_TRUE(IsLocalDiskPath("relative.gif"));
  EXPECT_FALSE(IsLocalDiskPath("\\\\localhost\\c$\\windows"));
  EXPECT_FALSE(IsLocalDiskPath("Q:\\x.gif")) << "a drive that does not exist";
}

}  // namespace
}  // namespace murmella::popup

namespace murmella::popup {
namespace {

using testing::TReadBackCanvas;

// Width of a text as the platform measures it, in a face made independently.
int MeasureWide(HDC dc, const std::u16string& text, const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpyW(lf.lfFaceName, face);
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, f);
  SIZE s{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &s);
  SelectObject(dc, old);
  DeleteObject(f);
  return s.cx;
}

std::string Utf8(const std::u16string& s) { return text::Utf16ToUtf8(s); }

// Names in several scripts through the real renderer on GDI: the text drawn in the name's
// colour, read back, is the name; the name's line is as wide as the platform measures the name,
// in the notice's bitmap face where its code page holds the name, else in the dialogs' face,
// which the platform links to fonts with the other scripts.
TEST_F(GdiRenderer, UnicodeNamesReadBackAndWidenTheNotice) {
  std::u16string long300;
  while (long300.size() < 300) long300 += u"\u738B\u4F1F \u0411\u043E\u0440\u0438\u0441 ";
  long300.resize(300);
  if (long300.back() == u' ') long300.back() = u'x';
  const wchar_t* bitmapFace = L"MS Sans Serif";
  const wchar_t* linkedFace = L"MS Shell Dlg 2";
  struct Case {
    const char* Name;
    std::u16string Text;
    std::string Markup;  // around the name; empty: the name alone
    const wchar_t* Face;
  } cases[] = {
      {"latin in the code page", u"Zo\u00EB \u00C5ngstr\u00F6m M\u00FCller", "", bitmapFace},
      {"latin beyond it", u"\u0141ukasz Wa\u0142\u0119sa", "", linkedFace},
      {"chinese", u"\u738B\u4F1F \u674E\u5A1C", "", linkedFace},
      {"arabic", u"\u0645\u062D\u0645\u062F \u0639\u0644\u064A", "", linkedFace},
      {"cyrillic", u"\u0411\u043E\u0440\u0438\u0441 \u041F\u0430\u0441\u0442\u0435\u0440\u043D\u0430\u043A", "", linkedFace},
      {"emoji", u"\U0001F600\U0001F600", "", linkedFace},
      {"300 characters", long300, "", linkedFace},
      {"bold chinese", u"\u738B\u4F1F", "<B>\u738B\u4F1F</B>", linkedFace},
  };
  constexpr TColor kRed = 0x0000FF;
  for (const Case& c : cases) {
    const std::string name = c.Markup.empty() ? Utf8(c.Text) : c.Markup;
    const std::string line = "<FONT color=\"#FF0000\">" + name + "</FONT>";
    const std::string notice = "<B>Murmellachat</B><br>" + line + " is ONLINE.";
    Surface.Clear();
    TReadBackCanvas canvas(Surface.Dc(), PopupFont(), kRed);
    TMarkupRenderInput in;
    in.Markup = notice;
    in.Bounds = {5, 5, 5, 5 + 4096};  // the auto-size rectangle: nothing wraps
    TMarkupRenderResult out;
    RenderMarkup(canvas, in, out);
    EXPECT_EQ(Utf8(canvas.Text()), Utf8(c.Text)) << c.Name;
    EXPECT_TRUE(Surface.AnyPixel({6, 5, kW, 5 + out.ContentHeight}, 0xFF0000)) << c.Name << ": drawn in red";
    if (std::string(c.Name) == "arabic") EXPECT_EQ(canvas.Runs.size(), 1u) << "right-to-left text as one run";

    // The name's line alone, measured by the renderer and by the platform.
    TGdiCanvas plain(Surface.Dc(), PopupFont());
    in.Markup = line;
    RenderMarkup(plain, in, out);
    const int platform = MeasureWide(Surface.Dc(), c.Text, c.Face);
    if (c.Markup.empty()) {
      // Runs are measured one by one; each may differ from the whole by a pixel of rounding.
      EXPECT_NEAR(out.ContentWidth, platform + 2, static_cast<double>(canvas.Runs.size())) << c.Name;
    } else {
      EXPECT_GT(out.ContentWidth, platform) << c.Name << ": bold is wider";
    }
    const std::string twice = "<FONT color=\"#FF0000\">" + name + " " + name + "</FONT>";
    TMarkupRenderResult longer;
    in.Markup = twice;
    RenderMarkup(plain, in, longer);
    EXPECT_GT(longer.ContentWidth, out.ContentWidth + platform / 2) << c.Name << ": the notice grows with the name";
  }
}

}  // namespace
}  // namespace murmella::popup
