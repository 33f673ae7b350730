#include "MarkupHitMap.h"

#include "MarkupRenderer.h"

#include <optional>

namespace murmella::popup {

void TMarkupHitMap::Clear() {
  Events_.clear();
  Targets_.clear();
  Complete_ = LineHasHits_ = false;
  ContentWidth_ = ContentHeight_ = 0;
}

// Consecutive runs of one link share their target.
int TMarkupHitMap::TargetIndex(const std::string& target) {
  if (Targets_.empty() || Targets_.back() != target) Targets_.push_back(target);
  return static_cast<int>(Targets_.size()) - 1;
}

void TMarkupHitMap::LinkRun(i64 left, i64 right, i64 lineTop, i64 lineBottom, const std::string& target) {
  LineHasHits_ = true;
  Events_.push_back({TKind::Run, false, TargetIndex(target), left, right, lineTop, lineBottom, {}});
}

void TMarkupHitMap::LinkImage(bool drawingPass, i64 left, i64 width, i64 top, i64 height, const std::string& target) {
  LineHasHits_ = LineHasHits_ || drawingPass;
  Events_.push_back({drawingPass ? TKind::DrawnImage : TKind::MeasuredImage, false, TargetIndex(target), left,
                     left + width, top, top + height, {}});
}

void TMarkupHitMap::LineEnd(i64 base, i64 ghHeight, const TRect* linkPart) {
  // A line with nothing of a link on it and no link open at its end changes no answer.
  if (!linkPart && !LineHasHits_) return;
  LineHasHits_ = false;
  TEvent e{TKind::LineEnd, linkPart != nullptr, 0, base, ghHeight, 0, 0, {}};
  if (linkPart) e.Part = *linkPart;
  Events_.push_back(e);
}

void TMarkupHitMap::LinkClose(int number, const TRect& linkPart) {
  Events_.push_back({TKind::Close, true, number, 0, 0, 0, 0, linkPart});
}

void TMarkupHitMap::Finish(int contentWidth, int contentHeight) {
  ContentWidth_ = contentWidth;
  ContentHeight_ = contentHeight;
  Complete_ = true;
}

// The layout's own checks, replayed in the order it made them: a run of a link under the
// point's x marks its line; on the line under the point it also names the link, which gets
// its number and rectangle where it closes.
TMarkupRenderResult TMarkupHitMap::Hit(TPoint point) const {
  TMarkupRenderResult out;
  out.ContentWidth = ContentWidth_;
  out.ContentHeight = ContentHeight_;
  const i64 px = point.X, py = point.Y;
  bool lineText = false, lineImage = false, marked = false;
  std::optional<TRect> part;
  int target = -1;
  for (const TEvent& e : Events_) {
    switch (e.Kind) {
      case TKind::Run:
        if (e.A <= px && px <= e.B) {
          lineText = true;
          if (e.C < py && py < e.D) {
            target = e.Number;
            marked = true;
          }
        }
        break;
      case TKind::MeasuredImage:
      case TKind::DrawnImage:
        if (e.A < px && px < e.B && e.C < py && py < e.D) {
          target = e.Number;
          if (e.Kind == TKind::DrawnImage) lineImage = true;
        }
        break;
      case TKind::LineEnd:
        if (marked && e.HasPart && !part) part = e.Part;
        if ((lineText && e.A - e.B < py && py < e.A) || lineImage) out.HitLink = true;
        lineText = lineImage = false;
        break;
      case TKind::Close:
        if (marked) {
          out.HitNumber = e.Number;
          out.HitRect = part ? *part : e.Part;
          marked = false;
          part.reset();
        }
        break;
    }
  }
  if (target >= 0) out.HitTarget = Targets_[static_cast<std::size_t>(target)];
  return out;
}

}  // namespace murmella::popup
