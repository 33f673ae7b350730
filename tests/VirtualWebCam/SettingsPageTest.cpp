// The camera's settings page, made by the library's own class factory and shown in a window of
// the test: the page the filter names, what it shows of the stored settings, its controls
// driven as an operator would, Apply read back from the registry and bad entries refused.
#include "CameraTestSupport.h"
#include "SettingsPageIds.h"

#include <ocidl.h>
#include <olectl.h>

#include <string>

using namespace vwctest;

namespace {

// {D88FF424-C6F0-46D0-8FDD-DD024CDF72C6}
constexpr CLSID kPage = {0xD88FF424, 0xC6F0, 0x46D0, {0x8F, 0xDD, 0xDD, 0x02, 0x4C, 0xDF, 0x72, 0xC6}};

CameraLibrary& PageLibrary() {
  static CameraLibrary library;
  return library;
}

// What a property frame does for its pages, as far as the page can tell: it counts the status
// changes the page reports.
class CountingSite final : public IPropertyPageSite {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IPropertyPageSite) return *out = nullptr, E_NOINTERFACE;
    *out = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP OnStatusChange(DWORD flags) override {
    if (flags & PROPPAGESTATUS_DIRTY) ++Dirty;
    return S_OK;
  }
  STDMETHODIMP GetLocaleID(LCID* lcid) override { return *lcid = LOCALE_USER_DEFAULT, S_OK; }
  STDMETHODIMP GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }
  int Dirty = 0;
};

std::wstring TextOf(HWND dialog, int id) {
  wchar_t text[256] = {};
  GetDlgItemTextW(dialog, id, text, 256);
  return text;
}

// The page activated in a top-level window of the test, its dialog found among the window's
// children.
struct ShownPage {
  ComPtr<IPropertyPage> Page;
  CountingSite Site;
  HWND Frame = nullptr, Dialog = nullptr;

  ShownPage() {
    auto factory = [] {
      ComPtr<IClassFactory> f;
      PageLibrary().Export<HRESULT WINAPI(REFCLSID, REFIID, void**)>("DllGetClassObject")(kPage, IID_IClassFactory,
                                                                                         &f);
      return f;
    }();
    if (!factory || FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&Page)))) return;
    Frame = CreateWindowExW(0, L"STATIC", L"settings page test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 500,
                            nullptr, nullptr, nullptr, nullptr);
    Page->SetPageSite(&Site);
    const RECT r{10, 10, 560, 460};
    if (Page->Activate(Frame, &r, TRUE) != S_OK) return;
    Dialog = GetParent(FindChild(IDC_VIDEO_WIDTH));
  }
  ~ShownPage() {
    if (Page) {
      Page->Deactivate();
      Page->SetPageSite(nullptr);
    }
    if (Frame) DestroyWindow(Frame);
  }
  HWND FindChild(int id) { return FindControl(Frame, id); }
  void Type(int id, const wchar_t* text) { SetDlgItemTextW(Dialog, id, text); }
  void Click(int id) { SendMessageW(GetDlgItem(Dialog, id), BM_CLICK, 0, 0); }
  bool IsChecked(int id) { return IsDlgButtonChecked(Dialog, id) == BST_CHECKED; }
};

}  // namespace

TEST(SettingsPage, TheFilterNamesThePageAndTheLibraryMakesIt) {
  ASSERT_TRUE(PageLibrary().Loaded());
  auto filter = PageLibrary().NewFilter();
  ASSERT_TRUE(filter);
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(filter.As(&pages), S_OK);
  CAUUID ids{};
  ASSERT_EQ(pages->GetPages(&ids), S_OK);
  ASSERT_EQ(ids.cElems, 1u);
  EXPECT_EQ(ids.pElems[0], kPage);
  CoTaskMemFree(ids.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);

  ShownPage shown;
  ASSERT_TRUE(shown.Page);
  PROPPAGEINFO info{};
  ASSERT_EQ(shown.Page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Screen");
  // The dialog's size at its font: wide and tall enough for its controls.
  EXPECT_GT(info.size.cx, 300);
  EXPECT_GT(info.size.cy, 200);
  CoTaskMemFree(info.pszTitle);
  // The page is no filter and is told of no particular object.
  EXPECT_EQ(shown.Page->SetObjects(0, nullptr), S_OK);
  ComPtr<IBaseFilter> notAFilter;
  EXPECT_EQ(shown.Page.As(&notAFilter), E_NOINTERFACE);
}

TEST(SettingsPage, ShowsTheStoredSettingsAndAppliesEdits) {
  ClearKey();
  PutDword(L"VideoWidth", 320);
  PutDword(L"FramesPerSecond", 30);
  PutDword(L"ShowCursor", 0);
  ShownPage shown;
  ASSERT_TRUE(shown.Dialog);
  EXPECT_EQ(TextOf(shown.Dialog, IDC_VIDEO_WIDTH), L"320");
  EXPECT_EQ(TextOf(shown.Dialog, IDC_VIDEO_HEIGHT), L"120") << "a default written back and shown";
  EXPECT_EQ(TextOf(shown.Dialog, IDC_FRAME_RATE), L"30");
  EXPECT_EQ(SendDlgItemMessageW(shown.Dialog, IDC_DISPLAY, CB_GETCURSEL, 0, 0), 0) << "the primary display";
  EXPECT_GE(SendDlgItemMessageW(shown.Dialog, IDC_DISPLAY, CB_GETCOUNT, 0, 0), 2) << "primary and each display";
  EXPECT_TRUE(shown.IsChecked(IDC_WHOLE_DISPLAY));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(shown.Dialog, IDC_REGION_WIDTH)));
  EXPECT_EQ(TextOf(shown.Dialog, IDC_REGION_WIDTH), std::to_wstring(GetSystemMetrics(SM_CXSCREEN)));
  EXPECT_FALSE(shown.IsChecked(IDC_SHOW_CURSOR));
  EXPECT_FALSE(shown.IsChecked(IDC_FOLLOW_CURSOR));
  EXPECT_FALSE(shown.IsChecked(IDC_SINGLE_FORMAT)) << "no SingleFormat value: the many-format camera";
  EXPECT_EQ(shown.Page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(shown.Site.Dirty, 0) << "showing the settings is no edit";

  // An operator's edits: a region of 640 x 360 at (100, 50) that follows the cursor, shape kept.
  shown.Click(IDC_WHOLE_DISPLAY);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(shown.Dialog, IDC_REGION_WIDTH)));
  shown.Type(IDC_REGION_LEFT, L"100");
  shown.Type(IDC_REGION_TOP, L"50");
  shown.Type(IDC_REGION_WIDTH, L"640");
  shown.Type(IDC_REGION_HEIGHT, L"360");
  shown.Click(IDC_FOLLOW_CURSOR);
  shown.Click(IDC_KEEP_ASPECT);
  shown.Type(IDC_VIDEO_HEIGHT, L"180");
  shown.Click(IDC_SINGLE_FORMAT);
  EXPECT_GT(shown.Site.Dirty, 0);
  EXPECT_EQ(shown.Page->IsPageDirty(), S_OK);
  EXPECT_EQ(Stored(L"CaptureWidth").second, 0u) << "nothing stored before Apply";
  ASSERT_EQ(shown.Page->Apply(), S_OK);
  EXPECT_EQ(shown.Page->IsPageDirty(), S_FALSE);
  const std::pair<const wchar_t*, DWORD> expected[] = {
      {L"VideoWidth", 320},  {L"VideoHeight", 180},   {L"FramesPerSecond", 30}, {L"Monitor", 0},
      {L"CaptureLeft", 100}, {L"CaptureTop", 50},     {L"CaptureWidth", 640},   {L"CaptureHeight", 360},
      {L"FollowCursor", 1},  {L"ShowCursor", 0},      {L"KeepAspect", 1},       {L"SingleFormat", 1}};
  for (auto [name, value] : expected)
    EXPECT_EQ(Stored(name), std::make_pair(DWORD(REG_DWORD), value)) << std::string(name, name + wcslen(name));

  // Back to the whole display: the region is stored as all zero.
  shown.Click(IDC_WHOLE_DISPLAY);
  ASSERT_EQ(shown.Page->Apply(), S_OK);
  EXPECT_EQ(Stored(L"CaptureWidth").second, 0u);
  EXPECT_EQ(Stored(L"CaptureLeft").second, 0u);
  ClearKey();
}

TEST(SettingsPage, BadEntriesAreNamedAndNothingIsStored) {
  const struct {
    int Id;
    const wchar_t* Text;
    const wchar_t* Named;
  } cases[] = {
      {IDC_VIDEO_WIDTH, L"0", L"Frame width"},      {IDC_VIDEO_HEIGHT, L"", L"Frame height"},
      {IDC_VIDEO_WIDTH, L"99999999999999", L"Frame width"},
      {IDC_FRAME_RATE, L"61", L"Frames per second"}, {IDC_REGION_WIDTH, L"0", L"Region width"},
  };
  for (const auto& c : cases) {
    ClearKey();
    PutDword(L"VideoWidth", 200);
    ShownPage shown;
    ASSERT_TRUE(shown.Dialog);
    if (c.Id == IDC_REGION_WIDTH) shown.Click(IDC_WHOLE_DISPLAY);
    shown.Click(IDC_KEEP_ASPECT);
    shown.Type(c.Id, c.Text);
    EXPECT_EQ(shown.Page->Apply(), E_FAIL);
    EXPECT_EQ(TextOf(shown.Dialog, IDC_STATUS).rfind(c.Named, 0), 0u);
    EXPECT_EQ(shown.Page->IsPageDirty(), S_OK) << "the edit is still to be applied";
    EXPECT_EQ(Stored(L"VideoWidth").second, 200u);
    EXPECT_EQ(Stored(L"KeepAspect").second, 0u) << "no half of a setting";
  }
  ClearKey();
}

TEST(SettingsPage, ADisplayThatIsGoneStaysChosenUntilChanged) {
  ClearKey();
  PutDword(L"Monitor", 9);
  ShownPage shown;
  ASSERT_TRUE(shown.Dialog);
  const LRESULT selected = SendDlgItemMessageW(shown.Dialog, IDC_DISPLAY, CB_GETCURSEL, 0, 0);
  wchar_t text[256] = {};
  SendDlgItemMessageW(shown.Dialog, IDC_DISPLAY, CB_GETLBTEXT, WPARAM(selected), reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(std::wstring(text).rfind(L"Display 9: not connected", 0), 0u) << selected;
  shown.Click(IDC_FOLLOW_CURSOR);
  ASSERT_EQ(shown.Page->Apply(), S_OK);
  EXPECT_EQ(Stored(L"Monitor").second, 9u);
  // Choosing the first display stores 1.
  SendDlgItemMessageW(shown.Dialog, IDC_DISPLAY, CB_SETCURSEL, 1, 0);
  SendMessageW(shown.Dialog, WM_COMMAND, MAKEWPARAM(IDC_DISPLAY, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(shown.Dialog, IDC_DISPLAY)));
  ASSERT_EQ(shown.Page->Apply(), S_OK);
  EXPECT_EQ(Stored(L"Monitor").second, 1u);
  ClearKey();
}
