#include "SettingsPage.h"

#include "CameraSettings.h"
#include "DebugGuard.h"
#include "ScreenSource.h"
#include "SettingsPageIds.h"
#include "SettingsStore.h"
#include "UMain.h"

#include <cwchar>
#include <string>

using vwc::Guarded;

namespace {

constexpr wchar_t kTitle[] = L"Screen";

constexpr int kRegionFields[] = {IDC_REGION_LEFT, IDC_REGION_TOP, IDC_REGION_WIDTH, IDC_REGION_HEIGHT};

vwc::TypedNumber ReadNumber(HWND dialog, int id) {
  wchar_t text[32] = {};
  GetDlgItemTextW(dialog, id, text, 32);
  const std::wstring s(text);
  // Digits only, and few enough that the value cannot wrap: anything else is no number.
  if (s.empty() || s.size() > 12 || s.find_first_not_of(L"0123456789") != std::wstring::npos) return {};
  return {true, std::stoll(s)};
}

void SetNumber(HWND dialog, int id, int64_t value) { SetDlgItemTextW(dialog, id, std::to_wstring(value).c_str()); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

std::wstring DisplayLabel(size_t index, const vwc::DisplayInfo& d) {
  const vwc::TRect& b = d.Bounds;
  std::wstring text = L"Display " + std::to_wstring(index + 1) + L": " + std::to_wstring(b.Width()) + L" x " +
                      std::to_wstring(b.Height()) + L" at (" + std::to_wstring(b.Left) + L", " +
                      std::to_wstring(b.Top) + L")";
  if (d.Primary) text += L", primary";
  return text;
}

// The dialog made from the library's resources as a child of parent; the page, when given, is
// told its window before the dialog's first message is handled.
HWND MakeDialog(HWND parent, TBCSettingsPage* page, DLGPROC proc) {
  return CreateDialogParamW(BCModuleHandle(), MAKEINTRESOURCEW(IDD_SETTINGS_PAGE), parent, proc,
                            reinterpret_cast<LPARAM>(page));
}

INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

TBCSettingsPage::TBCSettingsPage(IUnknown* outer) : TBCUnknown(vwc::kSettingsPageName, outer) {}

TBCSettingsPage::~TBCSettingsPage() {
  if (dialog_) DestroyWindow(dialog_);
}

TBCUnknown* TBCSettingsPage::CreateFromFactory(TBCClassFactory&, IUnknown* outer) {
  try {
    return new TBCSettingsPage(outer);
  } catch (...) {
    OutputDebugStringA("vwc: Error in TBCSettingsPage.Create call...");
    return nullptr;
  }
}

void* TBCSettingsPage::FindInterface(REFIID iid) {
  if (iid == IID_IPropertyPage) return BCInterface<IPropertyPage>(this);
  return TBCUnknown::FindInterface(iid);
}

STDMETHODIMP TBCSettingsPage::SetPageSite(IPropertyPageSite* site) {
  // A site is given once and taken back (null) before the page goes.
  if (site && site_) return E_UNEXPECTED;
  site_ = site;
  return S_OK;
}

STDMETHODIMP TBCSettingsPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (!rect) return E_POINTER;
  if (dialog_) return E_UNEXPECTED;
  return Guarded("vwc: Error in TBCSettingsPage.Activate call...", [&] {
    dialog_ = MakeDialog(parent, this, DialogProc);
    if (!dialog_) return E_FAIL;
    ShowStored();
    MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
  });
}

STDMETHODIMP TBCSettingsPage::Deactivate() {
  if (!dialog_) return E_UNEXPECTED;
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  return S_OK;
}

STDMETHODIMP TBCSettingsPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  return Guarded("vwc: Error in TBCSettingsPage.GetPageInfo call...", [&] {
    // The page's size in pixels is the dialog's at the font the template names: measured on a
    // hidden copy, as only a dialog can convert its own units.
    HWND probe = MakeDialog(GetDesktopWindow(), nullptr, MeasureProc);
    if (!probe) return E_FAIL;
    RECT r{};
    GetWindowRect(probe, &r);
    DestroyWindow(probe);
    auto* title = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kTitle));
    if (!title) return E_OUTOFMEMORY;
    memcpy(title, kTitle, sizeof kTitle);
    info->cb = sizeof *info;
    info->pszTitle = title;
    info->size = SIZE{r.right - r.left, r.bottom - r.top};
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
  });
}

// The page edits the camera's stored settings, shared by every camera of this user, so any
// object (the filter, its pin) or none will do.
STDMETHODIMP TBCSettingsPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count && !objects) return E_POINTER;
  return S_OK;
}

STDMETHODIMP TBCSettingsPage::Show(UINT command) {
  if (!dialog_) return E_UNEXPECTED;
  ShowWindow(dialog_, int(command));
  return S_OK;
}

STDMETHODIMP TBCSettingsPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!dialog_) return E_UNEXPECTED;
  MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

STDMETHODIMP TBCSettingsPage::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP TBCSettingsPage::Apply() {
  if (!dirty_) return S_OK;
  if (!dialog_) return E_UNEXPECTED;
  return Guarded("vwc: Error in TBCSettingsPage.Apply call...", [&] {
    const vwc::SettingsChoices choices = Read();
    // A bad entry is named on the page and nothing is stored: half a setting would be worse.
    if (const wchar_t* error = vwc::FindChoiceError(choices)) {
      SetStatus(error);
      MessageBeep(MB_ICONWARNING);
      return E_FAIL;
    }
    const bool stored =
        vwc::SaveFrameSettings(int32_t(choices.VideoWidth.Value), int32_t(choices.VideoHeight.Value),
                               int32_t(choices.FramesPerSecond.Value), choices.SingleFormat) &&
        vwc::SaveCaptureSettings(vwc::CaptureSettingsOf(choices));
    if (!stored) {
      SetStatus(L"The settings could not be written to the registry.");
      return E_FAIL;
    }
    dirty_ = false;
    SetStatus(L"Applied. The picture changes within a second; size and rate from the next connection.");
    return S_OK;
  });
}

STDMETHODIMP TBCSettingsPage::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP TBCSettingsPage::TranslateAccelerator(MSG* message) {
  if (!message) return E_POINTER;
  return dialog_ && IsDialogMessageW(dialog_, message) ? S_OK : S_FALSE;
}

INT_PTR CALLBACK TBCSettingsPage::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  auto* page = reinterpret_cast<TBCSettingsPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!page || message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  if (id == IDC_WHOLE_DISPLAY && code == BN_CLICKED) page->ShowRegionFields();
  if (code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE) page->MarkDirty();
  return FALSE;
}

void TBCSettingsPage::ShowStored() {
  filling_ = true;
  const vwc::CameraSettings frames = vwc::LoadCameraSettings();
  const vwc::CaptureSettings capture = vwc::LoadCaptureSettings();
  SetNumber(dialog_, IDC_VIDEO_WIDTH, frames.VideoWidth);
  SetNumber(dialog_, IDC_VIDEO_HEIGHT, frames.VideoHeight);
  SetNumber(dialog_, IDC_FRAME_RATE, vwc::FramesPerSecondOf(frames.FrameDuration));
  Check(dialog_, IDC_SINGLE_FORMAT, frames.SingleFormat);

  const HWND list = GetDlgItem(dialog_, IDC_DISPLAY);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  monitors_.clear();
  const auto add = [&](const std::wstring& text, int32_t monitor) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    monitors_.push_back(monitor);
  };
  add(L"Primary display", 0);
  const std::vector<vwc::DisplayInfo> displays = vwc::ListDisplays();
  for (size_t i = 0; i < displays.size(); ++i) add(DisplayLabel(i, displays[i]), int32_t(i + 1));
  // A stored display that is gone is kept as chosen, so that Apply does not lose it unasked.
  if (capture.Monitor > int32_t(displays.size()))
    add(L"Display " + std::to_wstring(capture.Monitor) + L": not connected (the primary is shown)", capture.Monitor);
  for (size_t i = 0; i < monitors_.size(); ++i)
    if (monitors_[i] == capture.Monitor) SendMessageW(list, CB_SETCURSEL, i, 0);

  const bool whole = vwc::IsWholeDisplay(capture);
  Check(dialog_, IDC_WHOLE_DISPLAY, whole);
  // With the whole display chosen its own size stands in the fields, a start for a region of it.
  const vwc::TRect display = vwc::ChosenDisplay(capture.Monitor);
  SetNumber(dialog_, IDC_REGION_LEFT, capture.CaptureLeft);
  SetNumber(dialog_, IDC_REGION_TOP, capture.CaptureTop);
  SetNumber(dialog_, IDC_REGION_WIDTH, whole ? display.Width() : capture.CaptureWidth);
  SetNumber(dialog_, IDC_REGION_HEIGHT, whole ? display.Height() : capture.CaptureHeight);
  Check(dialog_, IDC_FOLLOW_CURSOR, capture.FollowCursor != 0);
  Check(dialog_, IDC_SHOW_CURSOR, capture.ShowCursor != 0);
  Check(dialog_, IDC_KEEP_ASPECT, capture.KeepAspect != 0);
  ShowRegionFields();
  SetStatus(L"");
  dirty_ = false;
  filling_ = false;
}

vwc::SettingsChoices TBCSettingsPage::Read() const {
  vwc::SettingsChoices c;
  c.VideoWidth = ReadNumber(dialog_, IDC_VIDEO_WIDTH);
  c.VideoHeight = ReadNumber(dialog_, IDC_VIDEO_HEIGHT);
  c.FramesPerSecond = ReadNumber(dialog_, IDC_FRAME_RATE);
  c.SingleFormat = Checked(dialog_, IDC_SINGLE_FORMAT);
  const LRESULT selected = SendDlgItemMessageW(dialog_, IDC_DISPLAY, CB_GETCURSEL, 0, 0);
  c.Monitor = selected >= 0 && size_t(selected) < monitors_.size() ? monitors_[size_t(selected)] : -1;
  c.WholeDisplay = Checked(dialog_, IDC_WHOLE_DISPLAY);
  c.CaptureLeft = ReadNumber(dialog_, IDC_REGION_LEFT);
  c.CaptureTop = ReadNumber(dialog_, IDC_REGION_TOP);
  c.CaptureWidth = ReadNumber(dialog_, IDC_REGION_WIDTH);
  c.CaptureHeight = ReadNumber(dialog_, IDC_REGION_HEIGHT);
  c.FollowCursor = Checked(dialog_, IDC_FOLLOW_CURSOR);
  c.ShowCursor = Checked(dialog_, IDC_SHOW_CURSOR);
  c.KeepAspect = Checked(dialog_, IDC_KEEP_ASPECT);
  return c;
}

void TBCSettingsPage::ShowRegionFields() {
  const bool region = !Checked(dialog_, IDC_WHOLE_DISPLAY);
  for (int id : kRegionFields) EnableWindow(GetDlgItem(dialog_, id), region);
}

void TBCSettingsPage::MarkDirty() {
  if (filling_) return;
  dirty_ = true;
  if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

void TBCSettingsPage::SetStatus(const wchar_t* text) { SetDlgItemTextW(dialog_, IDC_STATUS, text); }
