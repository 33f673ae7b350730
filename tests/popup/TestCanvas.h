// A canvas with fixed, simple metrics that records what is drawn (as UTF-8), for the portable
// tests, the fuzzer and the benchmark. A character is Size/2 pixels wide (plus 1 when bold), a
// tab eight characters; every text is Size + 5 pixels high.
#pragma once

#include "MarkupRenderer.h"

#include <map>
#include <string>
#include <vector>

namespace murmella::popup::testing {

struct TDrawnRun {
  std::string Shown;  // after prefix processing
  TRect Box;
  TMarkupFont Font;
  TColor Background;  // clNone when drawn without background
  int PrefixUnderline = -1;  // index in Shown of the character a single "&" underlines
};

struct TFill {
  TRect Rect;
  TColor Color;
};

struct TLine2 {
  TPoint From, To;
  TColor Color;
};

struct TTextOut {
  TPoint At;
  std::string Text;
  TMarkupFont Font;
};

struct TImageDraw {
  std::string What;
  TRect Rect;
};

class TTestCanvas : public TMarkupCanvas {
 public:
  TTestCanvas();

  const TMarkupFont& Font() const override { return Font_; }
  void SetFont(const TMarkupFont& font) override { Font_ = font; }
  bool BrushSolid() const override { return BrushSolid_; }
  TColor BrushColor() const override { return Brush_; }
  void SetBrushColor(TColor c) override { Brush_ = c; BrushSolid_ = TextOpaque_ = true; }
  void SetBrushClear() override { BrushSolid_ = TextOpaque_ = false; }
  void SetTextTransparent() override { TextOpaque_ = false; }
  TColor PenColor() const override { return Pen_; }
  void SetPenColor(TColor c) override { Pen_ = c; }
  TSize TextExtent(std::u16string_view text) override;
  int RunWidth(std::u16string_view text, bool prefix) override;
  void DrawRun(std::u16string_view text, const TRect& box, bool prefix) override;
  void TextAt(int x, int y, std::u16string_view text) override;
  void FillRect(const TRect& rect) override;
  void MoveTo(int x, int y) override { Pos_ = {x, y}; }
  void LineTo(int x, int y) override;
  void PushClip(const TRect& rect) override { Clips.push_back(rect); ++ClipDepth; }
  void PopClip() override { --ClipDepth; }
  TRect VisibleRect() const override { return Visible; }
  int PixelsPerInchX() const override { return Ppi; }
  int PixelsPerInchY() const override { return Ppi; }
  std::uint32_t ResolveColor(TColor c) const override;

  static int CharWidth(const TMarkupFont& f) { return f.Size / 2 + ((f.Style & fsBold) ? 1 : 0); }
  static int Height(const TMarkupFont& f) { return f.Size + 5; }
  // In the current font, no prefix processing; a character outside the Basic Multilingual
  // Plane (a surrogate pair) is one character.
  int WidthOf(std::u16string_view shown) const;

  void RecordImage(std::string what, TRect rect) { Images.push_back({std::move(what), rect}); }
  void ClearRecords();
  std::string AllText() const;  // every run's shown text, in drawing order

  int Ppi = 96;
  TRect Visible = TMarkupCanvas::VisibleRect();  // what a paint's clip box would say
  std::vector<TDrawnRun> Runs;
  std::vector<TFill> Fills;
  std::vector<TLine2> Lines;
  std::vector<TTextOut> TextOuts;
  std::vector<TImageDraw> Images;
  std::vector<TRect> Clips;
  int ClipDepth = 0;
  int Measures = 0;
  int SplitSurrogates = 0;  // texts handed over with half of a surrogate pair

 private:
  TMarkupFont Font_;
  bool BrushSolid_ = false;
  bool TextOpaque_ = false;
  TColor Brush_ = clWhite;
  TColor Pen_ = clBlack;
  TPoint Pos_;
};

class TTestImageList : public TMarkupImageList {
 public:
  TTestImageList(int count, TSize size) : Count_(count), Size_(size) {}
  int Count() const override { return Count_; }
  TSize ImageSize() const override { return Size_; }
  void Draw(TMarkupCanvas& canvas, int index, int x, int y) const override;

 private:
  int Count_;
  TSize Size_;
};

class TTestShellIcons : public TShellIcons {
 public:
  int IconIndex(std::string_view name, bool small) override;
  TSize IconSize(bool small) override { return small ? TSize{16, 16} : TSize{32, 32}; }
  void Draw(TMarkupCanvas& canvas, int index, bool small, int x, int y) override;
  std::vector<std::string> Asked;
};

// Loader with resources and files held in memory. Bytes starting with "PIC" followed by two
// bytes width and height decode; anything else fails to decode.
class TTestLoader : public TPictureLoader {
 public:
  std::optional<TBytes> ResourceBytes(std::string_view name) override;
  std::optional<TBytes> FileBytes(std::string_view path) override;
  std::unique_ptr<TDecodedPicture> Decode(const TBytes& bytes) override;

  std::map<std::string, TBytes> Resources;
  std::map<std::string, TBytes> Files;
  std::vector<std::string> FilesAsked;
  int Decodes = 0;
};

TBytes TestPictureBytes(int width, int height);

}  // namespace murmella::popup::testing
