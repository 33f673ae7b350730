// Fonts made real and a small canvas over a GDI device context. The markup renderer draws with
// its own canvas (console/popup/GdiCanvas.h) over the same DC; this one serves the framework's
// measuring and background filling.
#pragma once

#include "Graphics.h"
#include "Handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace murmella::forms {

// The platform's record of a font: `height` as the record has it (negative for the character
// height), the style bits, the character set and a turn in tenths of a degree.
LOGFONTA MakeLogFont(const std::string& name, int height, unsigned style, unsigned char charset,
                     int escapement = 0);

// A plain colour as it is, a system colour looked up now; clNone becomes black.
COLORREF ColorToRGB(TColor color);

// A font description with its GDI font, made when first asked for and remade after a change.
class TFont {
 public:
  TFont() = default;
  explicit TFont(const TFontData& data) : data_(data) {}
  TFont(const TFont& other) : data_(other.data_) {}
  TFont& operator=(const TFont& other) {
    Assign(other.data_);
    return *this;
  }

  const TFontData& Data() const { return data_; }
  void Assign(const TFontData& data);
  const std::string& Name() const { return data_.Name; }
  int Height() const { return data_.Height; }
  unsigned Style() const { return data_.Style; }
  TColor Color() const { return data_.Color; }
  // Points at the screen's pixels per inch.
  int Size() const;
  void SetSize(int points);

  // Stays valid until the next change of the description; the font frees it.
  HFONT Handle() const;

 private:
  TFontData data_;
  mutable unique_hfont handle_;
};

// A DC with a font selected into it and everything put back when it goes.
class TCanvas {
 public:
  explicit TCanvas(HDC dc) : dc_(dc) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return dc_; }
  void SetFont(const TFont& font);
  // Extent of one line of text; with `prefix` a single "&" is not counted, as a label shows it.
  SIZE TextExtent(std::string_view text, bool prefix = false);
  void FillRect(const RECT& rect, TColor color);

 private:
  HDC dc_;
  std::optional<selected_object> font_;
};

}  // namespace murmella::forms
