// The platform's own controls the console shows: check box, drop-down list and label. Their
// notifications come back to the parent as WM_COMMAND and are routed here.
#pragma once

#include "Controls.h"

#include <string>
#include <vector>

namespace murmella::forms {

class TCheckBox : public TWinControl {
 public:
  TCheckBox(TComponent* owner, TWinControl* parent, std::string name = {});

  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& caption) { SetText(caption); }

  bool Checked() const;
  // A change runs OnClick, as a user click does; setting the value it has runs nothing.
  void SetChecked(bool checked);

  // After the user's click has toggled the box, or after SetChecked changed it.
  TNotifyEvent OnClick;

  // "Checked", "Enabled".
  std::span<const TPublishedProperty> Published() const override;

 protected:
  void CommandNotify(WORD code) override;
  virtual void Click();
};

// A drop-down list for selection only (no typing).
class TComboBox : public TWinControl {
 public:
  TComboBox(TComponent* owner, TWinControl* parent, std::string name = {});

  // Height is the closed height; the list drops below it by DropDownCount items.
  void SetBounds(int left, int top, int width, int height) override;
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int count);

  int ItemCount() const;
  std::string Item(int index) const;  // empty outside 0 .. ItemCount() - 1
  std::vector<std::string> Items() const;
  void SetItems(const std::vector<std::string>& items);  // the selection goes
  void AddItem(const std::string& item);
  void ClearItems();

  // -1 for none; an index outside the items selects none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The selected item's text; empty without a selection.
  std::string Text() const;

  // After the user picked another item (not after SetItemIndex).
  TNotifyEvent OnChange;

  // "ItemIndex", "Enabled".
  std::span<const TPublishedProperty> Published() const override;

 protected:
  void CommandNotify(WORD code) override;

 private:
  int dropDownCount_ = 8;
  int closedHeight_ = 21;
};

// Text on the parent's background; sized to its text while AutoSize is on (the default).
class TLabel : public TWinControl {
 public:
  TLabel(TComponent* owner, TWinControl* parent, std::string name = {});

  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& caption);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

 protected:
  void FontChanged() override;

 private:
  void AdjustSize();
  bool autoSize_ = true;
};

}  // namespace murmella::forms
