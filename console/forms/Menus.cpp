#include "Menus.h"

#include "Application.h"
#include "Controls.h"
#include "ImgList.h"

#include <algorithm>
#include <cstdint>

namespace murmella::forms {

namespace {

// Command numbers of the built menu: item position + 1 (0 means nothing was chosen).
constexpr UINT kFirstCommand = 1;

// The image as a 32-bit bitmap with alpha, as menus take it beside the caption.
unique_hbitmap MenuBitmap(const TImageList& images, int index) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = images.Width();
  bi.bmiHeader.biHeight = -images.Height();
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  unique_hbitmap bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  unique_hdc_memory dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc || !bits) return unique_hbitmap();
  {
    selected_object keep(dc.get(), bitmap.get());
    images.Draw(dc.get(), index, 0, 0);
  }
  GdiFlush();
  // Masked icons leave alpha at 0; whatever they drew is then opaque.
  auto* px = static_cast<std::uint32_t*>(bits);
  const std::size_t n = static_cast<std::size_t>(images.Width()) * static_cast<std::size_t>(images.Height());
  if (std::none_of(px, px + n, [](std::uint32_t p) { return (p >> 24) != 0; }))
    for (std::size_t i = 0; i < n; ++i)
      if (px[i]) px[i] |= 0xFF000000u;
  return bitmap;
}

}  // namespace

// A hidden window for the menu to belong to while it is up.
class TPopupMenu::TMenuWindow final : public TWindow {
 public:
  TMenuWindow() {
    TWindowParams p;
    p.ClassName = "MurmellaMenuWindow";
    p.Style = WS_POPUP;
    p.ExStyle = WS_EX_TOOLWINDOW;
    CreateHandle(p);
  }
};

TMenuItem::TMenuItem(TComponent* owner, TPopupMenu& menu, std::string name)
    : TComponent(owner, std::move(name)), menu_(&menu) {
  menu.items_.push_back(this);
}

TMenuItem::~TMenuItem() {
  if (menu_) {
    auto& items = menu_->items_;
    items.erase(std::remove(items.begin(), items.end(), this), items.end());
  }
}

void TMenuItem::Click() {
  if (OnClick) OnClick(*this);
}

TPopupMenu::TPopupMenu(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TPopupMenu::~TPopupMenu() {
  for (TMenuItem* item : items_) item->menu_ = nullptr;
}

TMenuItem* TPopupMenu::DefaultItem() const {
  for (TMenuItem* item : items_)
    if (item->Default()) return item;
  return nullptr;
}

void TPopupMenu::SetImages(TImageList* images) {
  if (images_ == images) return;
  if (images_) images_->RemoveFreeNotification(*this);
  images_ = images;
  if (images_) images_->FreeNotification(*this);
}

void TPopupMenu::Notification(TComponent& freed) {
  if (&freed == images_) images_ = nullptr;
  if (&freed == popupComponent_) popupComponent_ = nullptr;
}

void TPopupMenu::Build() {
  menu_.reset(CreatePopupMenu());
  bitmaps_.clear();
  if (!menu_) throw EMurmellaError("Cannot create a menu", "EMenuError");
  UINT command = kFirstCommand;
  for (TMenuItem* item : items_) {
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof mi;
    if (item->IsLine()) {
      mi.fMask = MIIM_FTYPE;
      mi.fType = MFT_SEPARATOR;
    } else {
      mi.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
      mi.wID = command;
      mi.dwTypeData = const_cast<char*>(item->Caption().c_str());
      mi.fState = (item->Enabled() ? MFS_ENABLED : MFS_DISABLED) | (item->Default() ? MFS_DEFAULT : 0);
      if (images_ && item->ImageIndex() >= 0 && item->ImageIndex() < images_->Count()) {
        if (unique_hbitmap b = MenuBitmap(*images_, item->ImageIndex())) {
          mi.fMask |= MIIM_BITMAP;
          mi.hbmpItem = b.get();
          bitmaps_.push_back(std::move(b));
        }
      }
    }
    InsertMenuItemA(menu_.get(), command - kFirstCommand, TRUE, &mi);
    ++command;
  }
}

void TPopupMenu::Popup(int x, int y) {
  UINT command = 0;
  const bool shown = CallGuarded([&] {
    Build();
    if (!window_) window_ = std::make_unique<TMenuWindow>();
    command = static_cast<UINT>(TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                               x, y, 0, window_->Handle(), nullptr));
  });
  if (shown) DispatchCommand(command);
}

void TPopupMenu::DispatchCommand(UINT command) {
  if (command < kFirstCommand || command - kFirstCommand >= items_.size()) return;
  TMenuItem* item = items_[command - kFirstCommand];
  CallGuarded([item] { item->Click(); });
}

}  // namespace murmella::forms
