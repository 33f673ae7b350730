// What one layout of a text leaves behind for pointing at it: where its links' runs and
// pictures lie and where their lines and links end. A pointer move over a text already laid
// out is then answered from this record instead of laying the text out again, which for a
// long text costs as much as painting it.
#pragma once

#include "MarkupCanvas.h"

#include <string>
#include <vector>

namespace murmella::popup {

struct TMarkupRenderResult;

class TMarkupHitMap {
 public:
  using i64 = long long;

  void Clear();
  bool Complete() const { return Complete_; }

  // Called by the layout, in its own order.
  void LinkRun(i64 left, i64 right, i64 lineTop, i64 lineBottom, const std::string& target);
  void LinkImage(bool drawingPass, i64 left, i64 width, i64 top, i64 height, const std::string& target);
  // linkPart: the open link's part on this line, when the line ends inside a link.
  void LineEnd(i64 base, i64 ghHeight, const TRect* linkPart);
  void LinkClose(int number, const TRect& linkPart);
  void Finish(int contentWidth, int contentHeight);

  // The same answer the layout gives in hit mode for this point.
  TMarkupRenderResult Hit(TPoint point) const;

  std::size_t EventCount() const { return Events_.size(); }

 private:
  enum class TKind : unsigned char { Run, MeasuredImage, DrawnImage, LineEnd, Close };
  struct TEvent {
    TKind Kind;
    bool HasPart = false;
    int Number = 0;  // the target's index, or the link's number for Close
    i64 A = 0, B = 0, C = 0, D = 0;
    TRect Part;
  };
  int TargetIndex(const std::string& target);

  std::vector<TEvent> Events_;
  std::vector<std::string> Targets_;
  bool Complete_ = false;
  bool LineHasHits_ = false;  // a link's run or picture on the drawing pass of this line
  int ContentWidth_ = 0, ContentHeight_ = 0;
};

}  // namespace murmella::popup
