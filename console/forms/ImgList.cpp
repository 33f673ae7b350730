#include "ImgList.h"

#include <string>

namespace murmella::forms {

TImageList::TImageList(TComponent* owner, std::string name, int width, int height)
    : TComponent(owner, std::move(name)), width_(width), height_(height),
      list_(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 4)) {
  if (!list_) throw EMurmellaError("Cannot create an image list", "EOutOfResources");
}

int TImageList::Count() const { return ImageList_GetImageCount(list_.get()); }

int TImageList::AddIcon(HICON icon) { return icon ? ImageList_AddIcon(list_.get(), icon) : -1; }

int TImageList::Add(HBITMAP image, HBITMAP mask) { return image ? ImageList_Add(list_.get(), image, mask) : -1; }

int TImageList::AddIconResource(HINSTANCE module, const char* id) {
  unique_hicon icon(static_cast<HICON>(LoadImageA(module, id, IMAGE_ICON, width_, height_, LR_DEFAULTCOLOR)));
  if (!icon) {
    const std::string name = IS_INTRESOURCE(id) ? std::to_string(reinterpret_cast<std::uintptr_t>(id)) : id;
    throw EMurmellaError("Icon resource " + name + " not found", "EResNotFound");
  }
  return AddIcon(icon.get());
}

void TImageList::Clear() { ImageList_RemoveAll(list_.get()); }

unique_hicon TImageList::GetIcon(int index) const {
  if (index < 0 || index >= Count()) return unique_hicon();
  return unique_hicon(ImageList_GetIcon(list_.get(), index, ILD_NORMAL));
}

void TImageList::Draw(HDC dc, int index, int x, int y) const {
  if (index >= 0 && index < Count()) ImageList_Draw(list_.get(), index, dc, x, y, ILD_TRANSPARENT);
}

}  // namespace murmella::forms
