// The camera's own settings page: what a capture application's "camera settings" button shows
// through the filter's ISpecifyPropertyPages. It edits the camera's registry values (the frame
// size and rate, the display, the region, the cursor and the shape kept); Apply writes them,
// Cancel leaves them. A plain COM class of the camera library, not a filter.
#pragma once

#include "BaseClass.h"
#include "SettingsChoices.h"

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <vector>

class TBCSettingsPage final : public TBCUnknown, public IPropertyPage {
 public:
  explicit TBCSettingsPage(IUnknown* outer);
  ~TBCSettingsPage() override;

  static TBCUnknown* CreateFromFactory(TBCClassFactory& factory, IUnknown* outer);

  BC_DECLARE_UNKNOWN

  // IPropertyPage
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR helpDir) override;
  STDMETHODIMP TranslateAccelerator(MSG* message) override;

 protected:
  void* FindInterface(REFIID iid) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void ShowStored();          // the registry's values into the controls
  vwc::SettingsChoices Read() const;  // the controls as they stand
  void ShowRegionFields();    // region fields enabled unless the whole display is chosen
  void MarkDirty();
  void SetStatus(const wchar_t* text);

  Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
  HWND dialog_ = nullptr;
  bool dirty_ = false;
  bool filling_ = false;  // control changes made by the page itself are not edits
  std::vector<int32_t> monitors_;  // the Monitor value of each display list entry
};
