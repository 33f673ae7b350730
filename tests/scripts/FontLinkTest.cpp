// The Wine prefixes that scripts/with-wine makes stand in for a Windows machine whose fonts have
// the glyphs of every script a visitor's name may be written in: a face that lacks a character
// falls back through font linking, as the platform's own controls do. These tests draw names in
// the faces the console uses and check that real glyphs come out, not the missing-glyph box.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One line of text drawn black on white into a 32-bit DIB, as rows of pixels.
struct Drawing {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  int InkedPixels() const {
    int n = 0;
    for (std::uint32_t p : pixels) n += (p & 0xFFFFFFu) != 0xFFFFFFu;
    return n;
  }
};

Drawing Draw(const wchar_t* face, const std::wstring& text, int height = 20) {
  Drawing d;
  d.width = 400;
  d.height = 40;
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = d.width;
  bi.bmiHeader.biHeight = -d.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  LOGFONTW lf{};
  lf.lfHeight = -height;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  RECT all{0, 0, d.width, d.height};
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  ExtTextOutW(dc, 2, 2, ETO_OPAQUE, &all, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  GdiFlush();
  const auto* px = static_cast<const std::uint32_t*>(bits);
  d.pixels.assign(px, px + d.width * d.height);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBmp);
  DeleteObject(bmp);
  DeleteDC(dc);
  return d;
}

struct Sample {
  const char* script;
  std::wstring text;
};

// Two characters of each script, written as escapes so the file's own encoding plays no part.
const Sample kSamples[] = {
    {"Chinese", L"\u738B\u4F1F"},              // 王伟
    {"Japanese kana", L"\u3072\u308D"},        // ひろ
    {"Korean", L"\uBBFC\uC900"},               // 민준
    {"Arabic", L"\u0639\u0644\u064A"},         // علي
    {"Cyrillic", L"\u0418\u0432\u0430\u043D"}, // Иван
    {"Latin with marks", L"Zo\u00EB \u0141ukasz"},
};

// The TrueType faces the console's windows draw with and those a notice's markup is likely to
// name. ("MS Sans Serif" is a bitmap font, which the platform never links: text that needs
// other scripts has to be drawn in one of these.)
const wchar_t* const kFaces[] = {L"MS Shell Dlg", L"MS Shell Dlg 2", L"Tahoma",
                                 L"Microsoft Sans Serif", L"Arial", L"Segoe UI"};

std::string Narrow(const wchar_t* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s);
  return out;
}

TEST(FontLink, EveryScriptDrawsRealGlyphsInEveryFaceTheConsoleUses) {
  // Characters no font has draw as the missing-glyph box (or nothing); a name must not look
  // like that. Private-use code points stand for "a character this machine has no glyph for".
  for (const wchar_t* face : kFaces) {
    const Drawing missing = Draw(face, std::wstring(L"\uE83A\uE83B"));
    for (const Sample& s : kSamples) {
      SCOPED_TRACE(Narrow(face) + " / " + s.script);
      const Drawing d = Draw(face, s.text);
      EXPECT_GT(d.InkedPixels(), 20);
      EXPECT_NE(d.pixels, missing.pixels);
      // Each character its own glyph: the first two drawn alone differ from each other.
      const Drawing first = Draw(face, s.text.substr(0, 1));
      const Drawing second = Draw(face, s.text.substr(1, 1));
      EXPECT_NE(first.pixels, second.pixels);
      EXPECT_NE(first.pixels, Draw(face, L"\uE83A").pixels);
      EXPECT_NE(second.pixels, Draw(face, L"\uE83A").pixels);
    }
  }
}

}  // namespace
