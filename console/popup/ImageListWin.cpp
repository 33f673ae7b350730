#include "ImageListWin.h"

#include "GdiCanvas.h"

namespace murmella::popup {

TImageList::TImageList(int width, int height, UINT flags, int initial, int grow)
    : List_(ImageList_Create(width, height, flags, initial, grow)) {}

TImageList::~TImageList() {
  if (List_) ImageList_Destroy(List_);
}

int TImageList::Add(HBITMAP image, HBITMAP mask) { return List_ ? ImageList_Add(List_, image, mask) : -1; }

int TImageList::AddMasked(HBITMAP image, COLORREF maskColor) {
  return List_ ? ImageList_AddMasked(List_, image, maskColor) : -1;
}

int TImageList::Count() const { return List_ ? ImageList_GetImageCount(List_) : 0; }

TSize TImageList::ImageSize() const {
  int w = 0, h = 0;
  if (List_) ImageList_GetIconSize(List_, &w, &h);
  return {w, h};
}

void TImageList::Draw(TMarkupCanvas& canvas, int index, int x, int y) const {
  DrawImageListEntry(List_, canvas, index, x, y);
}

void DrawImageListEntry(HIMAGELIST list, TMarkupCanvas& canvas, int index, int x, int y) {
  auto* gdi = dynamic_cast<TGdiCanvas*>(&canvas);
  if (!gdi || !list) return;
  ImageList_Draw(list, index, gdi->Handle(), x, y, ILD_TRANSPARENT);
}

}  // namespace murmella::popup
