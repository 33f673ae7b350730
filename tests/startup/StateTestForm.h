// A window with the console's four option controls as real system controls, and the three
// notifications a form gives the state component. Setting a check box's Checked to a new
// value runs its click handler, as a user's click does.
#pragma once

#include "Classes.h"
#include "ovcstate.h"

#include <windows.h>

#include <string>
#include <vector>

using murmella::forms::TComponent;
using murmella::forms::TNotifyEvent;
using murmella::forms::TObject;
using murmella::forms::TPublishedProperty;

class TestControl : public TComponent {
 public:
  TestControl(TComponent* owner, const char* name, HWND window) : TComponent(owner, name), window_(window) {}
  ~TestControl() override { DestroyWindow(window_); }
  HWND Window() const { return window_; }
  bool Enabled() const { return IsWindowEnabled(window_) != FALSE; }
  void SetEnabled(bool value) { EnableWindow(window_, value); }

 private:
  HWND window_;
};

class TestCheckBox : public TestControl {
 public:
  TestCheckBox(TComponent* owner, const char* name, HWND parent)
      : TestControl(owner, name,
                    CreateWindowExA(0, "BUTTON", name, WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 100, 17, parent, nullptr,
                                    nullptr, nullptr)) {
    SendMessageA(Window(), BM_SETCHECK, BST_CHECKED, 0);
  }
  bool Checked() const { return SendMessageA(Window(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetChecked(bool value) {
    if (value == Checked()) return;
    SendMessageA(Window(), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick) OnClick(*this);
  }
  TNotifyEvent OnClick;
  std::span<const TPublishedProperty> Published() const override;
};

class TestComboBox : public TestControl {
 public:
  TestComboBox(TComponent* owner, const char* name, HWND parent)
      : TestControl(owner, name,
                    CreateWindowExA(0, "COMBOBOX", nullptr, WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 57, 200, parent,
                                    nullptr, nullptr, nullptr)) {
    for (const char* item : {"5", "10", "15", "20", "30", "40", "50", "60", "120", "180", "240"})
      SendMessageA(Window(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(Window(), CB_SETCURSEL, 0, 0);
  }
  int ItemIndex() const { return int(SendMessageA(Window(), CB_GETCURSEL, 0, 0)); }
  int Count() const { return int(SendMessageA(Window(), CB_GETCOUNT, 0, 0)); }
  // A list keeps its selection when told to select an item it does not have.
  void SetItemIndex(int index) {
    if (index >= 0 && index < Count()) SendMessageA(Window(), CB_SETCURSEL, WPARAM(index), 0);
  }
  // What Windows does with such an index: it clears the selection (Wine keeps it, so the
  // clearing is done here as Windows documents it).
  void SetSelectionUnchecked(int index) {
    if (SendMessageA(Window(), CB_SETCURSEL, WPARAM(index), 0) == CB_ERR)
      SendMessageA(Window(), CB_SETCURSEL, WPARAM(-1), 0);
  }
  std::span<const TPublishedProperty> Published() const override;
};

class TestForm : public TComponent {
 public:
  TestForm();
  // As a form does: its destroy notification runs while its components still exist.
  ~TestForm() override;

  TNotifyEvent OnCreate, OnDestroy;
  murmella::startup::TCloseQueryEvent OnCloseQuery;

  void Create() {
    if (OnCreate) OnCreate(*this);
  }
  // A user close: the close query, which allows it.
  void UserClose() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(*this, canClose);
  }

  HWND window;
  TestCheckBox* chstartup;
  TestCheckBox* chpopup;
  TestCheckBox* disconnect;
  TestComboBox* duree;
};

// The console's five stored properties, in their order.
inline const std::vector<std::string> kConsoleLines = {"chpopup.Checked", "chstartup.Checked", "disconnect.Checked",
                                                       "duree.ItemIndex", "duree.Enabled"};
