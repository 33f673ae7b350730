// An image list component: small icons, most often from the program's resources, drawn by
// index (menus, the tray icon, the popup's "IDX:" images).
#pragma once

#include "Classes.h"
#include "Handles.h"

#include <windows.h>
#include <commctrl.h>

namespace murmella::forms {

class TImageList : public TComponent {
 public:
  // 16 x 16, 32-bit colour with mask.
  explicit TImageList(TComponent* owner, std::string name = {}, int width = 16, int height = 16);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const;
  HIMAGELIST Handle() const { return list_.get(); }

  // Adds a copy of `icon` (the caller keeps it); the new image's index.
  int AddIcon(HICON icon);
  // Adds the images of a strip bitmap (and its mask, if any; both copied); the first one's index.
  int Add(HBITMAP image, HBITMAP mask = nullptr);
  // Adds the icon resource `id` of `module` at the list's size; throws EMurmellaError when the
  // resource is missing.
  int AddIconResource(HINSTANCE module, const char* id);
  int AddIconResource(HINSTANCE module, int id) { return AddIconResource(module, MAKEINTRESOURCEA(id)); }
  void Clear();

  // A new icon made from image `index`; empty outside the list.
  unique_hicon GetIcon(int index) const;
  void Draw(HDC dc, int index, int x, int y) const;

 private:
  int width_, height_;
  unique_himagelist list_;
};

}  // namespace murmella::forms
