#include "StdCtrls.h"

#include <algorithm>
#include <array>

namespace murmella::forms {

namespace {

TWindowParams SystemControl(const char* className, DWORD style) {
  TWindowParams p;
  p.ClassName = className;
  p.SystemClass = true;
  p.Style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style;
  return p;
}

}  // namespace

TCheckBox::TCheckBox(TComponent* owner, TWinControl* parent, std::string name)
    : TWinControl(owner, parent, SystemControl("BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP), std::move(name)) {}

bool TCheckBox::Checked() const { return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  if (checked == Checked()) return;
  SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  Click();
}

void TCheckBox::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
}

void TCheckBox::Click() {
  if (OnClick) OnClick(*this);
}

std::span<const TPublishedProperty> TCheckBox::Published() const {
  static const std::array<TPublishedProperty, 2> table{
      BoolProperty<TCheckBox>("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked),
      BoolProperty<TCheckBox>("Enabled", &TCheckBox::Enabled, &TCheckBox::SetEnabled)};
  return table;
}

TComboBox::TComboBox(TComponent* owner, TWinControl* parent, std::string name)
    : TWinControl(owner, parent, SystemControl("COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
                  std::move(name)) {}

void TComboBox::SetBounds(int left, int top, int width, int height) {
  closedHeight_ = height;
  // The window's height given to the platform includes the dropped list; it keeps the closed
  // part at the height its font needs.
  const int item = std::max(1, static_cast<int>(SendMessageA(Handle(), CB_GETITEMHEIGHT, 0, 0)));
  TWinControl::SetBounds(left, top, width, height + item * dropDownCount_ + 2);
}

void TComboBox::SetDropDownCount(int count) {
  dropDownCount_ = std::max(1, count);
  SetBounds(Left(), Top(), Width(), closedHeight_);
}

int TComboBox::ItemCount() const { return static_cast<int>(SendMessageA(Handle(), CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Item(int index) const {
  if (index < 0 || index >= ItemCount()) return {};
  const LRESULT n = SendMessageA(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == CB_ERR) return {};
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  const LRESULT got = SendMessageA(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
  return s;
}

std::vector<std::string> TComboBox::Items() const {
  std::vector<std::string> items;
  for (int i = 0, n = ItemCount(); i < n; ++i) items.push_back(Item(i));
  return items;
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  ClearItems();
  for (const auto& item : items) AddItem(item);
}

void TComboBox::AddItem(const std::string& item) {
  SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TComboBox::ClearItems() { SendMessageA(Handle(), CB_RESETCONTENT, 0, 0); }

int TComboBox::ItemIndex() const {
  const LRESULT i = SendMessageA(Handle(), CB_GETCURSEL, 0, 0);
  return i == CB_ERR ? -1 : static_cast<int>(i);
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= ItemCount()) index = -1;
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string TComboBox::Text() const { return Item(ItemIndex()); }

void TComboBox::CommandNotify(WORD code) {
  if (code == CBN_SELCHANGE && OnChange) OnChange(*this);
}

std::span<const TPublishedProperty> TComboBox::Published() const {
  static const std::array<TPublishedProperty, 2> table{
      // A stored index that names no item is refused: the list keeps its selection rather
      // than losing it (the minutes of the idle check are read from it every minute).
      TPublishedProperty{"ItemIndex",
                         [](const TComponent& c) { return IntToText(static_cast<const TComboBox&>(c).ItemIndex()); },
                         [](TComponent& c, const std::string& text) {
                           auto& box = static_cast<TComboBox&>(c);
                           const std::optional<int> i = ReadInt(text);
                           if (i && *i >= 0 && *i < box.ItemCount()) box.SetItemIndex(*i);
                         }},
      BoolProperty<TComboBox>("Enabled", &TComboBox::Enabled, &TComboBox::SetEnabled)};
  return table;
}

TLabel::TLabel(TComponent* owner, TWinControl* parent, std::string name)
    : TWinControl(owner, parent, SystemControl("STATIC", SS_LEFT), std::move(name)) {}

void TLabel::SetCaption(const std::string& caption) {
  SetText(caption);
  AdjustSize();
}

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  AdjustSize();
}

void TLabel::FontChanged() { AdjustSize(); }

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  unique_window_dc dc(Handle());
  if (!dc) return;
  TCanvas canvas(dc.get());
  canvas.SetFont(Font());
  const std::string text = Text();
  SIZE s = canvas.TextExtent(text.empty() ? " " : text, true);
  if (text.empty()) s.cx = 0;
  SetWindowPos(Handle(), nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace murmella::forms
