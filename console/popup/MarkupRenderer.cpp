// Line breaking and the two passes per line: a measuring pass that decides what fits and
// collects the line's content, and a drawing pass over exactly that content.
#include "MarkupLayout.h"

#include "MarkupValues.h"
#include "Utf8Text.h"

#include <algorithm>

namespace murmella::popup {

namespace {

constexpr i64 kCoordLimit = 1 << 27;  // GDI's own coordinate space
constexpr TColor kShadowColor = clGray;
constexpr TColor kWavyColor = clRed;

// Puts the canvas brush and font back however the call ends (a picture error propagates).
class TCanvasRestore {
 public:
  explicit TCanvasRestore(TMarkupCanvas& c)
      : Canvas_(c), Font_(c.Font()), Solid_(c.BrushSolid()), Brush_(c.BrushColor()) {}
  ~TCanvasRestore() {
    if (Solid_)
      Canvas_.SetBrushColor(Brush_);
    else
      Canvas_.SetBrushClear();
    Canvas_.SetFont(Font_);
  }
  TCanvasRestore(const TCanvasRestore&) = delete;
  TCanvasRestore& operator=(const TCanvasRestore&) = delete;

 private:
  TMarkupCanvas& Canvas_;
  TMarkupFont Font_;
  bool Solid_;
  TColor Brush_;
};

}  // namespace

int ToCoord(i64 v) { return static_cast<int>(std::clamp<i64>(v, -kCoordLimit, kCoordLimit)); }

std::size_t TScanner::Next(char c, std::size_t from) {
  const int k = c == '<' ? 0 : c == ' ' ? 1 : 2;
  if (!Valid_[k] || (Memo_[k] != std::string_view::npos && Memo_[k] < from)) {
    Memo_[k] = Text.find(c, from);
    Valid_[k] = true;
  }
  return Memo_[k];
}

bool TScanner::RightToLeft(std::size_t from, std::size_t to) {
  if (to == RtlTo_ && from >= RtlFrom_ && (!Rtl_ || from == RtlFrom_)) return Rtl_;
  RtlFrom_ = from;
  RtlTo_ = to;
  Rtl_ = text::HasRightToLeft(Text.substr(from, to - from));
  return Rtl_;
}

TMarkupLayout::TMarkupLayout(TMarkupCanvas& canvas, const TMarkupRenderInput& in, TMarkupRenderResult& out)
    : Canvas_(canvas), In_(in), Out_(out),
      Images_{canvas, in.Images, in.PictureContainer, in.PictureCache, in.ShellIcons},
      Prepared_(PrepareMarkup(in.Markup)), Base_(canvas.Font()), MeasureFont_(Base_), DrawFont_(Base_) {}

void TMarkupLayout::Run() {
  const std::string_view text = Prepared_.Text;
  TScanner scanner(text);
  std::size_t pos = 0;
  const i64 left = static_cast<i64>(In_.Bounds.Left) + 1, right = In_.Bounds.Right, bottom = In_.Bounds.Bottom;
  i64 top = In_.Bounds.Top;
  std::string content;
  std::optional<i64> offsetSet;

  for (int index = 0; pos < text.size(); ++index) {
    Line_ = TLine{};
    Line_.Index = index;
    Line_.Top = top;
    Canvas_.SetFont(MeasureFont_);
    Line_.H = Line_.StartHeight = GhHeight();
    const TCarried start = C_;
    content.clear();
    offsetSet.reset();

    TPass first = MakePass(true, left, right, bottom, &offsetSet);
    first.Content = &content;
    const std::size_t before = pos;
    RunPass(first, scanner, pos);
    if (pos == before) ++pos;  // cannot happen by the rules; guards the loop all the same

    i64 dleft = left;
    if (Align_ == TAlign::Right && left < right - first.W) dleft = right - first.W;
    if (Align_ == TAlign::Center && right - left - first.W > 0) dleft = left + (right - left - first.W) / 2;
    dleft += Indent_;
    const i64 dbottom = top + Line_.H + Line_.SubH + Line_.SupH;

    C_ = start;
    Line_.Sub = Line_.Sup = false;
    TPass second = MakePass(false, dleft, right, dbottom, &offsetSet);
    TScanner contentScanner(content);
    std::size_t cpos = 0;
    RunPass(second, contentScanner, cpos);

    if (LinkMarked_ && C_.InLink && !HitLinePart_) HitLinePart_ = LinkPartOnLine(second);
    if (In_.Record) {
      std::optional<TRect> part;
      if (C_.InLink) part = LinkPartOnLine(second);
      In_.Record->LineEnd(dbottom - Line_.ImageOffset, GhHeight(), part ? &*part : nullptr);
    }
    if (second.Checks) {
      const i64 py = In_.Point.Y;
      const i64 base = dbottom - Line_.ImageOffset;
      if ((second.TextHit && base - GhHeight() < py && py < base) || second.ImageHit) Out_.HitLink = true;
    }
    if (offsetSet) CarriedOffset_ = *offsetSet;
    const i64 step = Line_.H + Line_.SubH + Line_.SupH;
    top += step;
    ContentHeight_ += step;
    if (top + Line_.StartHeight > bottom) break;
  }

  if (ContentHeight_ == 0) {
    Canvas_.SetFont(Base_);
    ContentHeight_ = GhHeight();
  }
  Out_.ContentWidth = ToCoord(ContentWidth_);
  Out_.ContentHeight = ToCoord(ContentHeight_);
}

// The measuring pass always checks the point (it is (0,0) when painting); the drawing pass
// draws when painting and checks instead in hit mode.
TPass TMarkupLayout::MakePass(bool measuring, i64 left, i64 right, i64 bottom, std::optional<i64>* offsetSet) {
  TPass p;
  p.Measuring = measuring;
  p.Draws = !measuring && !In_.HitMode;
  p.Checks = measuring || In_.HitMode;
  p.RLeft = left;
  p.RRight = right;
  p.RBottom = bottom;
  p.Font = measuring ? &MeasureFont_ : &DrawFont_;
  p.Rotated = measuring ? &MeasureRotated_ : &DrawRotated_;
  p.OffsetSet = offsetSet;
  return p;
}

void TMarkupLayout::RunPass(TPass& p, TScanner& sc, std::size_t& pos) {
  const std::string_view text = sc.Text;
  const std::size_t n = text.size();
  p.B0 = p.RBottom - Line_.SubH;
  p.X = p.RLeft + (p.Measuring ? 0 : CarriedOffset_);
  Apply(p);
  if (p.Draws && ParBackground_) {
    Canvas_.SetPenColor(Canvas_.BrushColor());
    Canvas_.FillRect({In_.Bounds.Left, ToCoord(Line_.Top), In_.Bounds.Right, ToCoord(Line_.Top + Line_.H)});
  }

  while (pos < n && !p.Broken && !p.Full) {
    const std::size_t lt = sc.Next('<', pos), sp = sc.Next(' ', pos);
    std::size_t end;
    const std::size_t stretchEnd = lt == std::string_view::npos ? n : lt;
    if (lt != std::string_view::npos && (sp == std::string_view::npos || sp > lt))
      end = lt;
    else if (sc.RightToLeft(pos, stretchEnd))
      end = stretchEnd;  // right-to-left words keep their order only when laid out together
    else if (sp != std::string_view::npos)
      end = sp + 1;
    else
      end = n;
    const std::string_view raw = text.substr(pos, end - pos);
    const std::u16string run =
        raw.find('&') == std::string_view::npos ? text::Utf8ToUtf16(raw) : text::Utf8ToUtf16(ReplaceRunEntities(raw));

    bool hiddenRun = false;
    i64 width = 0;
    if (!run.empty()) {
      const i64 th = Canvas_.TextExtent(run).Height;
      if (Line_.Sub) Line_.SubH = std::max(Line_.SubH, th / 4);
      if (Line_.Sup) Line_.SupH = std::max(Line_.SupH, th / 4);
      Line_.H = std::max(Line_.H, th);
      if (C_.Hidden) {
        hiddenRun = true;
        pos = end;
      } else {
        width = Canvas_.RunWidth(run, Prepared_.Prefix);
        if (!p.Measuring) {
          if (p.Draws) DrawRun(p, run, width);
          p.X += width;
        }
        if (In_.Record && C_.InLink && !p.Measuring)
          In_.Record->LinkRun(p.RLeft + p.W, p.RLeft + p.W + width, Line_.Top, p.RBottom, C_.LinkTarget);
        if (p.Checks && C_.InLink) {
          const i64 px = static_cast<i64>(In_.Point.X) - p.RLeft;
          if (p.W <= px && px <= p.W + width) {
            p.TextHit = true;
            // Only the line under the point names the link: a link on a line above it, whose
            // text spans the same x, must not claim the point.
            const i64 py = In_.Point.Y;
            if (!p.Measuring && Line_.Top < py && py < p.RBottom) {
              Out_.HitTarget = C_.LinkTarget;
              LinkMarked_ = true;
            }
          }
        }
        p.W += width;
      }
    }

    if (!hiddenRun) {
      bool placed = true;
      if (p.Measuring) {
        const i64 available = p.RRight - p.RLeft - CarriedOffset_;
        placed = p.W < available || width >= available;
      }
      if (placed) {
        if (p.Content) p.Content->append(raw);
        pos = end;
        // The empty run before a tag counts too: "Hello <BR>" keeps its space in the width.
        p.Trailing = !run.empty() && run.back() == u' ' ? Canvas_.TextExtent(u" ").Width : 0;
      } else {
        p.Broken = true;
        p.W -= width;
      }
    }

    if (pos < n && text[pos] == '<' && n - pos <= 2) {
      pos = n;
      continue;
    }
    if (p.Broken || pos >= n || text[pos] != '<' || n - pos < 3) continue;
    const std::size_t gtAbs = sc.Next('>', pos);
    const std::size_t gt = gtAbs == std::string_view::npos ? std::string_view::npos : gtAbs - pos;
    HandleTag(p, text.substr(pos), gt);
    Apply(p);
    if (p.Full) break;
    if (gtAbs == std::string_view::npos) {
      pos = n;
    } else {
      if (p.Content) p.Content->append(text.substr(pos, gtAbs + 1 - pos));
      pos = gtAbs + 1;
    }
  }

  p.W -= p.Trailing;
  if (p.W > ContentWidth_) ContentWidth_ = p.W + 2;
}

void TMarkupLayout::DrawRun(TPass& p, std::u16string_view run, i64 width) {
  i64 bottom = p.B0;
  if (Line_.Sup) bottom -= Line_.SupH;
  if (Line_.Sub) bottom += Line_.SubH;
  bottom -= Line_.ImageOffset;
  const TRect box{ToCoord(p.X), ToCoord(Line_.Top), ToCoord(p.X + width), ToCoord(bottom)};
  if (C_.Shadow) {
    TMarkupFont shadow = *p.Font;
    shadow.Color = kShadowColor;
    Canvas_.SetFont(shadow);
    Canvas_.DrawRun(run, {box.Left + 1, box.Top + 1, box.Right + 1, box.Bottom + 1}, Prepared_.Prefix);
    Canvas_.SetFont(*p.Font);
  }
  Canvas_.DrawRun(run, box, Prepared_.Prefix);
  if (Wavy_) DrawWavy(p.B0, box.Left, box.Right);
}

// A zig-zag 2 pixels high in 2-pixel steps along the line's bottom, its phase fixed by x. Only
// the steps inside the visible rectangle are drawn: a run can be millions of pixels long.
void TMarkupLayout::DrawWavy(i64 y, i64 left, i64 right) {
  Canvas_.SetPenColor(kWavyColor);
  const TRect visible = Canvas_.VisibleRect();
  if (y + 1 < visible.Top || y - 1 >= visible.Bottom) return;
  const i64 x0 = 2 * (left / 2);
  const int phase0 = (x0 % 4 == 0) ? 2 : 0;
  const i64 skipped = std::max<i64>(0, (static_cast<i64>(visible.Left) - 2 - x0) / 2);
  const i64 from = x0 + 2 * skipped, to = std::min<i64>(right, visible.Right);
  int phase = skipped % 2 == 0 ? phase0 : 2 - phase0;
  Canvas_.MoveTo(ToCoord(from), ToCoord(y + phase - 1));
  for (i64 xz = from; xz < to; xz += 2) {
    phase = 2 - phase;
    Canvas_.LineTo(ToCoord(xz + 2), ToCoord(y + phase - 1));
  }
}

void TMarkupLayout::RestoreBrush(TColor remembered) {
  if (remembered == clNone)
    Canvas_.SetBrushClear();
  else
    Canvas_.SetBrushColor(remembered);
}

bool RenderMarkup(TMarkupCanvas& canvas, const TMarkupRenderInput& input, TMarkupRenderResult& result) {
  result = TMarkupRenderResult{};
  TCanvasRestore restore(canvas);
  // Text has no background until a tag sets the brush, whatever brush the caller left.
  canvas.SetTextTransparent();
  if (input.PictureCache) input.PictureCache->StartRender();
  if (input.Record) input.Record->Clear();
  TMarkupLayout layout(canvas, input, result);
  layout.Run();
  if (input.Record) input.Record->Finish(result.ContentWidth, result.ContentHeight);
  return result.HitLink;
}

}  // namespace murmella::popup
