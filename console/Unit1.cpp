#include "Unit1.h"

#include "Application.h"
#include "AutoRun.h"
#include "ComCtrls.h"
#include "CoolTrayIcon.h"
#include "EmbeddedWB.h"
#include "ExtCtrls.h"
#include "HTMLPopup.h"
#include "NoticeText.h"
#include "RecentVisitors.h"
#include "OleText.h"
#include "ImgList.h"
#include "Menus.h"
#include "OneInstance.h"
#include "ServicePages.h"
#include "StdCtrls.h"
#include "ovcstate.h"
#include "ovcstore.h"

#include <ole2.h>

#include <memory>
#include <tuple>

namespace murmella::console {

using namespace murmella::forms;
using startup::LinkTo;

TConsolePlatform ConsolePlatform;

namespace {

constexpr int kOuterWidth = 856;
constexpr int kOuterHeight = 584;
constexpr int kOptionBarHeight = 25;

const std::vector<std::string> kMinuteItems = {"5", "10", "15", "20", "30", "40", "50", "60", "120", "180", "240"};

// The visitor's name: the argument at position 0 (the last in the page's call order) as
// text, UTF-16 as the page gave it. A string is taken as it is, a number as its decimal text,
// an absent value as empty text; a null value, or no argument at all, cannot be a name.
std::wstring NoticeArgument(const DISPPARAMS& params) {
  if (params.cArgs == 0 || !params.rgvarg)
    throw EMurmellaError("The call carries no visitor name", "EVariantError");
  const VARIANT& arg = params.rgvarg[0];
  const VARTYPE type = V_VT(&arg) & ~VT_BYREF;
  if (type == VT_EMPTY) return {};
  if (type == VT_NULL) throw EMurmellaError("Could not convert variant of type (Null) into type (String)",
                                            "EVariantTypeCastError");
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&arg), 0, VT_BSTR)))
    throw EMurmellaError("Could not convert the visitor's name into text", "EVariantTypeCastError");
  std::wstring name = V_BSTR(&text) ? std::wstring(V_BSTR(&text), SysStringLen(V_BSTR(&text))) : std::wstring();
  VariantClear(&text);
  return name;
}

std::wstring AsciiToWide(const char* text) {
  std::wstring w;
  for (const char* p = text; *p; ++p) w.push_back(static_cast<unsigned char>(*p));
  return w;
}

std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring ToWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

constexpr char16_t kTrayTitle[] = u"Murmellachat";

}  // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner, "Form1") {
  SetCaption("MurmellaChat");
  SetFont(TFontData{});  // "MS Shell Dlg 2", 8 points
  SetColor(clBtnFace);
  SetPosition(TPosition::poScreenCenter);
  SetBounds(0, 0, kOuterWidth, kOuterHeight);
  SetWindowIcons();
  OnCreate = [this](TObject& s) { FormCreate(s); };
  OnClose = [this](TObject& s, TCloseAction& a) { FormClose(s, a); };

  // Each component gets its settings as it is created; the autostart value is written on the
  // way, so a registry that refuses it ends the construction here.
  CreateControls();
  CreateComponents();
  CreateMenu();

  // References between components, once all of them exist.
  OvcComponentState1->SetStorage(OvcRegistryStore1);
  CoolTrayIcon1->SetIconList(ImageList1);
  CoolTrayIcon1->SetPopupMenu(PopupMenu1);
  PopupMenu1->SetImages(ImageList1);
  pop2->SetImages(ImageList1);

  // Page host set-up, the state component's attachment, the single-instance check, the icon.
  LoadedAll();

  // FormCreate, then the restore of the options. A failed navigation is reported and start-up
  // goes on without the stored options.
  try {
    DoCreate();
  } catch (const std::exception& e) {
    Application().HandleException(e);
  }
}

TForm1::~TForm1() {
  // The page goes first: nothing it calls may reach a component already freed.
  www->OnGetIDsOfNames = nullptr;
  www->OnInvoke = nullptr;
  www->Close();
  // The state component saves here, while the controls it reads still exist.
  DoDestroy();
  DestroyComponents();
}

// The program's icon on the caption and the taskbar button. Shared icons: the system keeps them.
void TForm1::SetWindowIcons() {
  const HINSTANCE module = GetModuleHandleA(nullptr);
  for (auto [which, cx, cy] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON}, std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}})
    if (HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(kTrayIconResource), IMAGE_ICON, GetSystemMetrics(cx),
                                 GetSystemMetrics(cy), LR_SHARED))
      SendMessageA(Handle(), WM_SETICON, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(icon));
}

void TForm1::CreateControls() {
  Panel3 = new TPanel(this, this, "Panel3");
  Panel3->SetBounds(0, 0, ClientRect().right, kOptionBarHeight);
  Panel3->SetAlign(TAlign::alTop);

  chstartup = new TCheckBox(this, Panel3, "chstartup");
  chstartup->SetBounds(8, 4, 161, 17);
  chstartup->SetCaption(" Run application at startup");
  chstartup->SetChecked(true);

  chpopup = new TCheckBox(this, Panel3, "chpopup");
  chpopup->SetBounds(192, 4, 185, 17);
  chpopup->SetCaption(" Popups when user connects");
  chpopup->SetChecked(true);

  disconnect = new TCheckBox(this, Panel3, "disconnect");
  disconnect->SetBounds(384, 4, 137, 17);
  disconnect->SetCaption(" Disconnect after");
  disconnect->SetChecked(true);
  disconnect->OnClick = [this](TObject& s) { disconnectClick(s); };

  duree = new TComboBox(this, Panel3, "duree");
  duree->SetBounds(528, 0, 57, 21);
  duree->SetItems(kMinuteItems);
  duree->SetItemIndex(0);

  Label1 = new TLabel(this, Panel3, "Label1");
  Label1->SetBounds(592, 4, 0, 0);
  Label1->SetCaption("minutes of inactivity");

  JvPageControl1 = new TPageControl(this, this, "JvPageControl1");
  JvPageControl1->SetAlign(TAlign::alClient);
  TabSheet2 = new TTabSheet(this, *JvPageControl1, "TabSheet2");
  JvPageControl1->SetActivePage(TabSheet2);

  www = new pagehost::TEmbeddedWB(this, "www");
  www->SetParentWindow(TabSheet2->Handle());
  www->SetBounds(TabSheet2->ClientRect());
  // No images, videos or background sounds; scripts stay allowed.
  www->SetDownloadOptions({});
  www->OnGetIDsOfNames = [this](TObject& s, REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids,
                                HRESULT& rezult) { wwwGetIDsOfNames(s, iid, names, count, lcid, ids, rezult); };
  www->OnInvoke = [this](TObject& s, DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS& params,
                         VARIANT* result, EXCEPINFO* excep, UINT* argErr, HRESULT& rezult) {
    wwwInvoke(s, id, iid, lcid, flags, params, result, excep, argErr, rezult);
  };
  www->OnGetExternal = [this](TObject& s, IDispatch*& d) { wwwGetExternal(s, d); };
  www->OnGetHostInfo = [this](TObject& s, DOCHOSTUIINFO& info) { wwwGetHostInfo(s, info); };
}

void TForm1::CreateComponents() {
  OvcComponentState1 = new startup::TOvcComponentState(*this, LinkTo(Application()), "OvcComponentState1");
  OvcComponentState1->SetSection("params");
  OvcComponentState1->SetStoredProperties(
      {"chpopup.Checked", "chstartup.Checked", "disconnect.Checked", "duree.ItemIndex", "duree.Enabled"});

  OvcRegistryStore1 = new startup::TOvcRegistryStore(this, "OvcRegistryStore1");
  OvcRegistryStore1->SetKeyName("Murmellachat");
  OvcRegistryStore1->SetRegistryRoot(startup::TOvcRegistryRoot::rrCurrentUser);

  const HINSTANCE module = GetModuleHandleA(nullptr);
  ImageList1 = new TImageList(this, "ImageList1");
  ImageList1->AddIconResource(module, kTrayIconResource);
  ImageList1->AddIconResource(module, kSignUpIconResource);
  ImageList1->AddIconResource(module, kCloseIconResource);

  pop2 = new popup::THTMLPopup(this, "pop2");
  popup::ApplyNoticeSettings(*pop2, nullptr);

  OneInstance1 = new startup::TOneInstance(this, LinkTo(Application()), "OneInstance1");
  OneInstance1->SetInformUser(false);
  OneInstance1->SetRaisePriorInstance(false);

  CoolTrayIcon1 = new tray::TCoolTrayIcon(this, "CoolTrayIcon1");
  CoolTrayIcon1->SetHint(ToWide(kTrayTitle));
  CoolTrayIcon1->SetShowHint(true);
  if (HICON stored = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(kTrayIconResource), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0))) {
    CoolTrayIcon1->SetIcon(stored);
    DestroyIcon(stored);
  }
  CoolTrayIcon1->SetIconIndex(0);
  CoolTrayIcon1->SetMinimizeToTray(true);
  CoolTrayIcon1->OnClick = [this](TObject& s) { CoolTrayIcon1Click(s); };

  Timer1 = new TTimer(this, "Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(3000);
  Timer1->SetOnTimer([this](TObject& s) { Timer1Timer(s); });

  Timer2 = new TTimer(this, "Timer2");
  Timer2->SetInterval(60000);
  Timer2->SetOnTimer([this](TObject& s) { Timer2Timer(s); });

  // Key, Active, Title, in that order: the value is written on every start, whatever the
  // stored option says; the option applies at the next close.
  AutoRun1 = new startup::TAutoRun(this, "AutoRun1");
  AutoRun1->SetKey(startup::TKeyReg::RUN);
  AutoRun1->SetActive(true);
  AutoRun1->SetTitle("MurMellachatRun");
}

void TForm1::CreateMenu() {
  PopupMenu1 = new TPopupMenu(this, "PopupMenu1");
  auto item = [this](const char* name, const char* caption, int image, void (TForm1::*handler)(TObject&)) {
    auto* m = new TMenuItem(this, *PopupMenu1, name);
    m->SetCaption(caption);
    m->SetImageIndex(image);
    if (handler) m->OnClick = [this, handler](TObject& s) { (this->*handler)(s); };
    return m;
  };
  Opendialogoo1 = item("Opendialogoo1", "Open Murmellachat", imTray, &TForm1::Opendialogoo1Click);
  CloseMurmella = item("CloseMurmella", "Close Murmellachat", imClose, &TForm1::CloseMurmellaClick);
  N1 = item("N1", "-", -1, nullptr);
  RegisterMurmellachat =
      item("RegisterMurmellachat", "Register Murmellachat", imSignUp, &TForm1::RegisterMurmellachatClick);
  RecentVisitors = item("RecentVisitors", "Recent visitors", -1, nullptr);
  ShowRecentVisitors();
}

// The submenu lists the visitors newest first; before the first one, a grey "(none yet)".
void TForm1::ShowRecentVisitors() {
  while (!RecentVisitors->Items().empty()) delete RecentVisitors->Items().back();
  if (recent_.NewestFirst().empty()) {
    auto* none = new TMenuItem(RecentVisitors, *RecentVisitors, "NoVisitorYet");
    none->SetCaption("(none yet)");
    none->SetEnabled(false);
  }
  for (const TVisitor& visitor : recent_.NewestFirst()) {
    auto* entry = new TMenuItem(RecentVisitors, *RecentVisitors);
    entry->SetCaption(WideToUtf8(ToWide(VisitorMenuCaption(visitor))));
    entry->OnClick = [this](TObject&) { CoolTrayIcon1->ShowMainWindow(); };
  }
  // The shell is another process: a flood of calls from one page must not wait on it each time.
  if (std::wstring tip = ToWide(VisitorTip(kTrayTitle, recent_)); tip != CoolTrayIcon1->Hint()) CoolTrayIcon1->SetHint(tip);
}

void TForm1::RememberVisitor(const std::wstring& name) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  recent_.Add(ToU16(name), now.wHour, now.wMinute);
  ShowRecentVisitors();
}

void TForm1::FormCreate(TObject&) { www->Navigate(StartPageUrl); }

void TForm1::FormClose(TObject&, TCloseAction& Action) {
  AutoRun1->SetActive(chstartup->Checked());
  if (Action == TCloseAction::caFree) {
    Application().Terminate();
    return;
  }
  // Closing only sends the window to the tray; the program goes on.
  Action = TCloseAction::caNone;
  CoolTrayIcon1->HideMainWindow();
}

void TForm1::disconnectClick(TObject&) { duree->SetEnabled(disconnect->Checked()); }

void TForm1::CoolTrayIcon1Click(TObject&) { CoolTrayIcon1->ShowMainWindow(); }

void TForm1::Opendialogoo1Click(TObject&) { CoolTrayIcon1->ShowMainWindow(); }

void TForm1::CloseMurmellaClick(TObject& Sender) {
  TCloseAction action = TCloseAction::caFree;
  FormClose(Sender, action);
}

void TForm1::RegisterMurmellachatClick(TObject&) {
  // No default browser, or none that takes the address: nothing the console can do about it.
  const std::wstring address = AsciiToWide(SignUpPageUrl);
  ConsolePlatform.HlinkNavigateString(nullptr, address.c_str());
}

void TForm1::FlashAndShow() {
  ConsolePlatform.FlashWindow(Handle(), TRUE);
  ShowWindow(Handle(), SW_SHOWNORMAL);
}

void TForm1::wwwGetIDsOfNames(TObject&, REFIID, LPOLESTR* Names, UINT, LCID, DISPID* DispIDs, HRESULT& Rezult) {
  // Once the program is ending, a page's calls change nothing.
  if (Application().Terminated()) return;
  if (!Names || !Names[0] || !DispIDs) return;
  if (!IsExternalMethodName(pagehost::WideToAnsi(Names[0]))) return;  // the page learns the name is not known
  DispIDs[0] = kPageSetupDispId;
  Rezult = S_OK;
  if (chpopup->Checked()) FlashAndShow();
}

void TForm1::wwwInvoke(TObject&, DISPID DispID, REFIID, LCID, WORD, DISPPARAMS& Params, VARIANT*, EXCEPINFO*,
                       UINT*, HRESULT& Rezult) {
  // The control reads its ambient properties on every navigation and the presence page reloads
  // every few seconds: only the page's own call may bring the window back. Any other number
  // keeps the host's answer (no such member) and changes nothing.
  if (DispID != kPageSetupDispId || Application().Terminated()) return;
  Rezult = S_OK;
  try {
    CoolTrayIcon1->ShowMainWindow();
  } catch (...) {
    // Showing the window is a courtesy; the notice still follows.
  }
  if (!chpopup->Checked()) {
    // No notice, but the tray still remembers who came; a call without a name is no visitor.
    try {
      RememberVisitor(NoticeArgument(Params));
    } catch (const EMurmellaError&) {
    }
    return;
  }
  FlashAndShow();
  JvPageControl1->SetActivePageIndex(0);
  const std::wstring wideName = NoticeArgument(Params);
  RememberVisitor(wideName);
  // The notice carries the name in UTF-8, as the visitor typed it.
  const std::string name = WideToUtf8(wideName);
  CoolTrayIcon1->ShowMainWindow();
  pop2->Text().Clear();
  pop2->Text().Add(ComposeNotice(name));
  pop2->SlideIn();
  // Already enabled: the notice still ends 3000 ms after the first call.
  Timer1->SetEnabled(true);
}

void TForm1::wwwGetExternal(TObject&, IDispatch*& ppDispatch) {
  ppDispatch = www->DispatchInterface();
  if (ppDispatch) ppDispatch->AddRef();
}

void TForm1::wwwGetHostInfo(TObject&, DOCHOSTUIINFO& pInfo) {
  // No 3-D border, no scroll bars; the host's autocomplete and theme flags are not asked for.
  pInfo.cbSize = 12;
  pInfo.dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
  pInfo.dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
}

void TForm1::Timer1Timer(TObject&) {
  pop2->SlideOut();
  Timer1->SetEnabled(false);
}

void TForm1::Timer2Timer(TObject&) {
  idle_.AddInterval(static_cast<std::int32_t>(Timer2->Interval()));
  // No cursor to read (a locked workstation, an elevation prompt on the secure desktop): the
  // operator is away, which is no activity and no error.
  POINT cursor{};
  if (ConsolePlatform.GetCursorPos(&cursor)) idle_.SeeCursor(cursor.x, cursor.y);
  else idle_.SeeCursor(idle_.LastCursorX, idle_.LastCursorY);
  if (!idle_.Due(StrToInt(duree->Text()), disconnect->Checked())) return;
  if (ShouldReturnToStart(www->LocationURL())) www->Navigate(StartPageUrl);
}

int RunMurmellaChat() {
  const HRESULT ole = OleInitialize(nullptr);
  int exitCode = 0;
  {
    Application().SetTitle("MurmellaChat");
    std::unique_ptr<TForm1> form;
    try {
      form = std::make_unique<TForm1>(nullptr);
    } catch (const std::exception& e) {
      Application().ShowFatalError(e);
      exitCode = 1;
    }
    if (form) {
      // From here on the tray icon's show and hide requests act on the window.
      Application().SetMainForm(form.get());
      Application().Run();
    }
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return exitCode;
}

}  // namespace murmella::console
