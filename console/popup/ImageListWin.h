// A small owning wrapper over the platform's image list, the one "IDX:" sources index.
#pragma once

#include "MarkupImages.h"

#include <windows.h>
#include <commctrl.h>

namespace murmella::popup {

class TImageList final : public TMarkupImageList {
 public:
  TImageList(int width, int height, UINT flags = ILC_COLOR32 | ILC_MASK, int initial = 4, int grow = 4);
  ~TImageList() override;
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;

  HIMAGELIST Handle() const { return List_; }
  // Adds a bitmap (copied; the caller keeps its handles); returns the index of its first image.
  int Add(HBITMAP image, HBITMAP mask = nullptr);
  int AddMasked(HBITMAP image, COLORREF maskColor);

  int Count() const override;
  TSize ImageSize() const override;
  void Draw(TMarkupCanvas& canvas, int index, int x, int y) const override;

 private:
  HIMAGELIST List_;
};

// Draws an image list entry on a GDI markup canvas; nothing on any other canvas.
void DrawImageListEntry(HIMAGELIST list, TMarkupCanvas& canvas, int index, int x, int y);

}  // namespace murmella::popup
