// The Wine prefixes that scripts/with-wine makes stand in for a Windows machine whose fonts have
// the glyphs of every script a visitor's name may be written in: a face that lacks a character
// falls back through font linking, as the platform's own controls do. These tests draw names in
// the faces the console uses and check that real glyphs come out, not the missing-glyph box.
#include "DibSurface.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One line of text drawn black on white, as rows of pixels.
struct Drawing {
  std::vector<std::uint32_t> pixels;

  int InkedPixels() const {
    int n = 0;
    for (std::uint32_t p : pixels) n += p != 0xFFFFFFu;
    return n;
  }
};

Drawing Draw(const wchar_t* face, const std::wstring& text, int weight = FW_NORMAL, int height = 20) {
  murmella::test::TDibSurface surface(400, 40);
  LOGFONTW lf{};
  lf.lfHeight = -height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(surface.Dc(), font);
  SetBkMode(surface.Dc(), TRANSPARENT);
  SetTextColor(surface.Dc(), RGB(0, 0, 0));
  ExtTextOutW(surface.Dc(), 2, 2, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  Drawing d{surface.Pixels()};
  SelectObject(surface.Dc(), oldFont);
  DeleteObject(font);
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
    // Symbols of the Basic Multilingual Plane only: Wine's font links do not reach characters
    // beyond it, so an emoji such as U+1F600 still draws as two boxes (one per surrogate).
    {"Symbols", L"\u263A\u2764"},            // a smiling face and a heart
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
  // Bold counts as much as regular: a notice's markup makes names bold.
  for (const int weight : {FW_NORMAL, FW_BOLD}) {
    for (const wchar_t* face : kFaces) {
      const Drawing missing = Draw(face, std::wstring(L"\uE83A\uE83B"), weight);
      const Drawing missingOne = Draw(face, L"\uE83A", weight);
      for (const Sample& s : kSamples) {
        SCOPED_TRACE(Narrow(face) + (weight == FW_BOLD ? " bold / " : " / ") + s.script);
        const Drawing d = Draw(face, s.text, weight);
        EXPECT_GT(d.InkedPixels(), 20);
        EXPECT_NE(d.pixels, missing.pixels);
        // Each character its own glyph: the first two drawn alone differ from each other.
        const Drawing first = Draw(face, s.text.substr(0, 1), weight);
        const Drawing second = Draw(face, s.text.substr(1, 1), weight);
        EXPECT_NE(first.pixels, second.pixels);
        EXPECT_NE(first.pixels, missingOne.pixels);
        EXPECT_NE(second.pixels, missingOne.pixels);
      }
    }
  }
}

}  // namespace
