// Internal to the renderer: the state of one RenderMarkup call and of its passes.
#pragma once

#include "MarkupRenderer.h"
#include "MarkupPrepare.h"

#include <optional>
#include <string>
#include <string_view>

namespace murmella::popup {

using i64 = long long;

enum class TAlign { Left, Right, Center };

// Finds the next "<", " " and ">" from a position without rescanning: positions only move
// forward, so a whole call stays linear in the markup's length.
class TScanner {
 public:
  explicit TScanner(std::string_view text) : Text(text) {}
  std::size_t Next(char c, std::size_t from);
  // Whether text[from, to) holds right-to-left text. The layout asks with positions that only
  // move forward and a stretch found to hold some is taken whole, so the answer is kept.
  bool RightToLeft(std::size_t from, std::size_t to);
  std::string_view Text;

 private:
  std::size_t Memo_[3] = {0, 0, 0};
  bool Valid_[3] = {false, false, false};
  std::size_t RtlFrom_ = 0, RtlTo_ = std::string_view::npos;
  bool Rtl_ = false;
};

struct TLine {
  int Index = 0;
  i64 Top = 0;
  i64 H = 0, SubH = 0, SupH = 0, ImageOffset = 0, StartHeight = 0;
  bool Sub = false, Sup = false;
};

struct TPass {
  bool Measuring = true;  // the first pass: breaks the line and collects its content
  bool Draws = false;     // the second pass outside hit mode
  bool Checks = false;    // compares Point with the links
  i64 RLeft = 0, RRight = 0, RBottom = 0, B0 = 0;
  i64 W = 0, X = 0, Trailing = 0;
  bool ItemSeen = false, Broken = false, Full = false;
  bool TextHit = false, ImageHit = false;
  TMarkupFont* Font = nullptr;
  std::optional<TMarkupFont>* Rotated = nullptr;
  std::string* Content = nullptr;
  std::optional<i64>* OffsetSet = nullptr;
};

// The flags and counters that both passes of a line start from.
struct TCarried {
  int LinkCounter = 0;
  int ListDepth = 0;
  bool InLink = false;
  std::string LinkTarget;
  bool Hidden = false;
  bool Shadow = false;
  // Where the current link began, for HitRect.
  i64 LinkStartX = 0, LinkStartTop = 0;
  int LinkStartLine = -1;
};

class TMarkupLayout {
 public:
  TMarkupLayout(TMarkupCanvas& canvas, const TMarkupRenderInput& in, TMarkupRenderResult& out);
  void Run();

 private:
  TPass MakePass(bool measuring, i64 left, i64 right, i64 bottom, std::optional<i64>* offsetSet);
  void RunPass(TPass& p, TScanner& sc, std::size_t& pos);
  void DrawRun(TPass& p, std::u16string_view run, i64 width);
  void DrawWavy(i64 y, i64 left, i64 right);
  void HandleTag(TPass& p, std::string_view rest, std::size_t gt);
  void OpenTag(TPass& p, std::string_view rest, std::size_t gt);
  void CloseTag(TPass& p, std::string_view rest);
  void ImageTag(TPass& p, std::string_view rest, std::size_t gt);
  void BodyTag(TPass& p, std::string_view rest, std::size_t gt);
  void FontTag(TPass& p, std::string_view rest, std::size_t gt);
  void ParagraphTag(TPass& p, std::string_view rest, std::size_t gt);
  void ListItemTag(TPass& p);
  TRect LinkPartOnLine(const TPass& p) const;

  void Apply(const TPass& p) { Canvas_.SetFont(*p.Font); }
  i64 GhHeight() { return Canvas_.TextExtent(u"gh").Height; }
  void RestoreBrush(TColor remembered);
  TColor CurrentBrush() const { return Canvas_.BrushSolid() ? Canvas_.BrushColor() : clNone; }
  bool SecondPass(const TPass& p) const { return !p.Measuring; }

  TMarkupCanvas& Canvas_;
  const TMarkupRenderInput& In_;
  TMarkupRenderResult& Out_;
  TImageContext Images_;
  TPreparedMarkup Prepared_;

  TMarkupFont Base_, MeasureFont_, DrawFont_;
  std::optional<TMarkupFont> MeasureRotated_, DrawRotated_;
  TCarried C_;
  TLine Line_;
  TAlign Align_ = TAlign::Left;
  i64 Indent_ = 0;
  i64 CarriedOffset_ = 0;
  bool Wavy_ = false, ParBackground_ = false;
  TColor SavedFontBrush_ = clNone;
  TColor SavedParBrush_ = clNone;
  bool HiSeen_ = false;
  TColor SavedHiFont_ = clNone, SavedHiBrush_ = clNone;

  bool LinkMarked_ = false;
  std::optional<TRect> HitLinePart_;  // of a hit link that goes on past the point's line
  i64 ContentWidth_ = 0, ContentHeight_ = 0;
};

// Canvas coordinates handed to the platform stay far inside its range.
int ToCoord(i64 v);

}  // namespace murmella::popup
