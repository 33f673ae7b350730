#include "Menus.h"

#include "Application.h"
#include "Controls.h"
#include "ImgList.h"

#include <algorithm>
#include <cstdint>

namespace murmella::forms {

namespace {

// Command numbers of the built menu: the item's place among the commands + 1 (0 means nothing
// was chosen). Without submenus that is the item's position + 1.
constexpr UINT kFirstCommand = 1;

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

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

TMenuItem::TMenuItem(TComponent* owner, TMenuItem& parent, std::string name)
    : TComponent(owner, std::move(name)), menu_(parent.menu_), parent_(&parent) {
  parent.items_.push_back(this);
}

TMenuItem::~TMenuItem() {
  auto& siblings = parent_ ? parent_->items_ : menu_ ? menu_->items_ : items_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  // A built menu's command for this item now does nothing; the others keep their numbers.
  if (menu_) std::replace(menu_->commands_.begin(), menu_->commands_.end(), this, static_cast<TMenuItem*>(nullptr));
  // Items of the submenu may outlive this one (another owner frees them later).
  for (TMenuItem* item : items_) item->parent_ = nullptr;
  Detach();
}

// Takes this item and its submenu off the menu that is being freed.
void TMenuItem::Detach() {
  menu_ = nullptr;
  for (TMenuItem* item : items_) item->Detach();
}

void TMenuItem::Click() {
  if (OnClick) OnClick(*this);
}

TPopupMenu::TPopupMenu(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TPopupMenu::~TPopupMenu() {
  for (TMenuItem* item : items_) item->Detach();
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
  commands_.clear();
  if (!menu_) throw EMurmellaError("Cannot create a menu", "EMenuError");
  AddItems(menu_.get(), items_);
}

void TPopupMenu::AddItems(HMENU menu, std::span<TMenuItem* const> items) {
  UINT position = 0;
  for (TMenuItem* item : items) {
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    std::wstring caption;
    if (item->IsLine()) {
      mi.fMask = MIIM_FTYPE;
      mi.fType = MFT_SEPARATOR;
    } else {
      caption = Utf8ToWide(item->Caption());
      mi.fMask = MIIM_STRING | MIIM_STATE;
      mi.dwTypeData = caption.data();
      mi.fState = (item->Enabled() ? MFS_ENABLED : MFS_DISABLED) | (item->Default() ? MFS_DEFAULT : 0);
      if (!item->Items().empty()) {
        // The submenu belongs to this menu from here on: destroying the menu destroys it.
        HMENU sub = CreatePopupMenu();
        if (!sub) throw EMurmellaError("Cannot create a menu", "EMenuError");
        mi.fMask |= MIIM_SUBMENU;
        mi.hSubMenu = sub;
        AddItems(sub, item->Items());
      } else {
        commands_.push_back(item);
        mi.fMask |= MIIM_ID;
        mi.wID = kFirstCommand + static_cast<UINT>(commands_.size() - 1);
      }
      if (images_ && item->ImageIndex() >= 0 && item->ImageIndex() < images_->Count()) {
        if (unique_hbitmap b = MenuBitmap(*images_, item->ImageIndex())) {
          mi.fMask |= MIIM_BITMAP;
          mi.hbmpItem = b.get();
          bitmaps_.push_back(std::move(b));
        }
      }
    }
    if (!InsertMenuItemW(menu, position, TRUE, &mi) && mi.hSubMenu) DestroyMenu(mi.hSubMenu);
    ++position;
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

// The items that are commands, in the order Build numbers them.
static void CollectCommands(std::span<TMenuItem* const> items, std::vector<TMenuItem*>& commands) {
  for (TMenuItem* item : items)
    if (!item->IsLine()) {
      if (item->Items().empty()) commands.push_back(item);
      else CollectCommands(item->Items(), commands);
    }
}

void TPopupMenu::DispatchCommand(UINT command) {
  // Not built yet: the numbers the menu would have.
  if (commands_.empty()) CollectCommands(items_, commands_);
  if (command < kFirstCommand || command - kFirstCommand >= commands_.size()) return;
  TMenuItem* item = commands_[command - kFirstCommand];
  if (!item) return;
  CallGuarded([item] { item->Click(); });
}

}  // namespace murmella::forms
