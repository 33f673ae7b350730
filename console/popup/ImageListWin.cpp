#include "ImageListWin.h"

#include "GdiCanvas.h"

namespace murmella::popup {

void TListImages::Draw(TMarkupCanvas& canvas, int index, int x, int y) const {
  DrawImageListEntry(List_.Handle(), canvas, index, x, y);
}

void DrawImageListEntry(HIMAGELIST list, TMarkupCanvas& canvas, int index, int x, int y) {
  auto* gdi = dynamic_cast<TGdiCanvas*>(&canvas);
  if (!gdi || !list) return;
  ImageList_Draw(list, index, gdi->Handle(), x, y, ILD_TRANSPARENT);
}

}  // namespace murmella::popup
