// The markup renderer the presence popup paints, sizes and hit-tests with: one call lays the
// text out and either draws it or checks a point against its links.
#pragma once

#include "MarkupCanvas.h"
#include "MarkupHitMap.h"
#include "MarkupImages.h"
#include "PictureContainer.h"

#include <string>
#include <string_view>

namespace murmella::popup {

struct TMarkupRenderInput {
  std::string_view Markup;
  TRect Bounds;
  const TMarkupImageList* Images = nullptr;       // for "IDX:" sources
  TPictureContainer* PictureContainer = nullptr;  // named pictures
  THTMLPictureCache* PictureCache = nullptr;      // pictures named by a "://" source
  TShellIcons* ShellIcons = nullptr;              // for "SSYS:" and "LSYS:" sources
  bool HoverStyle = false;  // true: only link HoverNumber is underlined; false: every link
  int HoverNumber = -1;     // 1-based, -1 for none
  bool HitMode = false;     // true: nothing is drawn, Point is checked against the links
  TPoint Point;
  // When given, filled with what hit tests of this same layout need (in either mode), so that
  // later pointer moves can be answered by Record->Hit without another layout.
  TMarkupHitMap* Record = nullptr;
};

struct TMarkupRenderResult {
  int ContentWidth = 0;
  int ContentHeight = 0;
  bool HitLink = false;
  std::string HitTarget;
  int HitNumber = -1;
  TRect HitRect;  // the hit link's part on the line under the point
};

// Lays the markup out afresh (nothing is cached here), draws it unless in hit mode, and returns
// HitLink. The canvas font at entry is the base font; the canvas brush colour and font are
// restored on return, also when a picture error propagates.
bool RenderMarkup(TMarkupCanvas& canvas, const TMarkupRenderInput& input, TMarkupRenderResult& result);

}  // namespace murmella::popup
