// "IDX:" sources index the framework's image list component (forms::TImageList), the one image
// list class of the console; this adapter lets the renderer draw from it.
#pragma once

#include "ImgList.h"
#include "MarkupImages.h"

#include <windows.h>
#include <commctrl.h>

namespace murmella::popup {

class TListImages final : public TMarkupImageList {
 public:
  // The list stays the caller's and must outlive the adapter.
  explicit TListImages(const forms::TImageList& list) : List_(list) {}

  int Count() const override { return List_.Count(); }
  TSize ImageSize() const override { return {List_.Width(), List_.Height()}; }
  void Draw(TMarkupCanvas& canvas, int index, int x, int y) const override;

 private:
  const forms::TImageList& List_;
};

// Draws an image list entry on a GDI markup canvas; nothing on any other canvas.
void DrawImageListEntry(HIMAGELIST list, TMarkupCanvas& canvas, int index, int x, int y);

}  // namespace murmella::popup
