// The popup menu: items with captions (UTF-8, shown through the wide calls), images from an
// image list, click events and submenus, shown at a screen position.
#pragma once

#include "Classes.h"
#include "Handles.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace murmella::forms {

class TImageList;
class TPopupMenu;

class TMenuItem : public TComponent {
 public:
  // Appended to `menu`'s items.
  TMenuItem(TComponent* owner, TPopupMenu& menu, std::string name = {});
  // Appended to the submenu of `parent`, which then opens it instead of being chosen.
  TMenuItem(TComponent* owner, TMenuItem& parent, std::string name = {});
  ~TMenuItem() override;

  // UTF-8 text. "-" makes the item a separator.
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  bool IsLine() const { return caption_ == "-"; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index) { imageIndex_ = index; }  // -1 for none
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  TPopupMenu* Menu() const { return menu_; }
  TMenuItem* Parent() const { return parent_; }
  // The submenu's items, in order.
  std::span<TMenuItem* const> Items() const { return items_; }

  TNotifyEvent OnClick;
  // Runs OnClick with this item as sender, as choosing it in the menu does.
  void Click();

 private:
  friend class TPopupMenu;
  void Detach();
  TPopupMenu* menu_;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
  std::string caption_;
  int imageIndex_ = -1;
  bool default_ = false;
  bool enabled_ = true;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner, std::string name = {});
  ~TPopupMenu() override;

  std::span<TMenuItem* const> Items() const { return items_; }
  // The item marked Default with the lowest position, or null.
  TMenuItem* DefaultItem() const;

  // A reference: cleared when the image list is freed.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  // Whether the owner of the menu (a tray icon) pops it up by itself.
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool value) { autoPopup_ = value; }
  // The component that popped the menu up last.
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* component) { popupComponent_ = component; }

  // Shows the menu at (x, y) on the screen and returns when it closes; then the chosen item's
  // OnClick runs, and an error escaping it goes to the standard error box.
  void Popup(int x, int y);
  // The chosen command of a menu built by Popup: the item behind `command`'s OnClick, guarded
  // as Popup guards it. Unknown commands do nothing.
  void DispatchCommand(UINT command);

 protected:
  void Notification(TComponent& freed) override;

 private:
  friend class TMenuItem;
  class TMenuWindow;
  void Build();
  void AddItems(HMENU menu, std::span<TMenuItem* const> items);
  std::vector<TMenuItem*> items_;
  // The built menu's commands: command number - 1 is the item's place here.
  std::vector<TMenuItem*> commands_;
  TImageList* images_ = nullptr;
  bool autoPopup_ = true;
  TComponent* popupComponent_ = nullptr;
  unique_hmenu menu_;
  std::vector<unique_hbitmap> bitmaps_;
  std::unique_ptr<TMenuWindow> window_;
};

}  // namespace murmella::forms
