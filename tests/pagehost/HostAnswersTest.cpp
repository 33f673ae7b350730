// The host's answers to the control, asked through the COM interfaces the control uses.
#include "EmbeddedWB.h"
#include "PageHostTestSupport.h"

#include <gtest/gtest.h>

#include <mshtmdid.h>
#include <olectl.h>

#include <cstring>
#include <string>
#include <vector>

namespace murmella::pagehost {
namespace {

using Microsoft::WRL::ComPtr;
using forms::TObject;

template <typename I>
ComPtr<I> SiteAs(TEmbeddedWB& host) {
  ComPtr<I> i;
  EXPECT_EQ(host.DispatchInterface()->QueryInterface(IID_PPV_ARGS(&i)), S_OK);
  return i;
}

TEST(HostOptions, MembersTakeThePlatformBitsInOrderAndAFreshHostHasItsDefaults) {
  const DWORD ui[kUserInterfaceOptionCount] = {
      DOCHOSTUIFLAG_DIALOG, DOCHOSTUIFLAG_DISABLE_HELP_MENU, DOCHOSTUIFLAG_NO3DBORDER, DOCHOSTUIFLAG_SCROLL_NO,
      DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE, DOCHOSTUIFLAG_OPENNEWWIN, DOCHOSTUIFLAG_DISABLE_OFFSCREEN,
      DOCHOSTUIFLAG_FLAT_SCROLLBAR, DOCHOSTUIFLAG_DIV_BLOCKDEFAULT, DOCHOSTUIFLAG_ACTIVATE_CLIENTHIT_ONLY,
      DOCHOSTUIFLAG_OVERRIDEBEHAVIORFACTORY, DOCHOSTUIFLAG_CODEPAGELINKEDFONTS,
      DOCHOSTUIFLAG_URL_ENCODING_DISABLE_UTF8, DOCHOSTUIFLAG_URL_ENCODING_ENABLE_UTF8,
      DOCHOSTUIFLAG_ENABLE_FORMS_AUTOCOMPLETE, DOCHOSTUIFLAG_ENABLE_INPLACE_NAVIGATION,
      DOCHOSTUIFLAG_IME_ENABLE_RECONVERSION, DOCHOSTUIFLAG_THEME, DOCHOSTUIFLAG_NOTHEME, DOCHOSTUIFLAG_NOPICS,
      DOCHOSTUIFLAG_NO3DOUTERBORDER, DOCHOSTUIFLAG_DISABLE_EDIT_NS_FIXUP, DOCHOSTUIFLAG_LOCAL_MACHINE_ACCESS_CHECK,
      DOCHOSTUIFLAG_DISABLE_UNTRUSTEDPROTOCOL, DOCHOSTUIFLAG_HOST_NAVIGATES,
      DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION, DOCHOSTUIFLAG_USE_WINDOWLESS_SELECTCONTROL,
      DOCHOSTUIFLAG_USE_WINDOWED_SELECTCONTROL, DOCHOSTUIFLAG_ENABLE_ACTIVEX_INACTIVATE_MODE};
  const DWORD dl[kDownloadOptionCount] = {
      DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS, DLCTL_NO_SCRIPTS, DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS,
      DLCTL_NO_DLACTIVEXCTLS, DLCTL_DOWNLOADONLY, DLCTL_NO_FRAMEDOWNLOAD, DLCTL_RESYNCHRONIZE,
      DLCTL_PRAGMA_NO_CACHE, DLCTL_NO_BEHAVIORS, DLCTL_NO_METACHARSET, DLCTL_URL_ENCODING_DISABLE_UTF8,
      DLCTL_URL_ENCODING_ENABLE_UTF8, DLCTL_FORCEOFFLINE, DLCTL_NO_CLIENTPULL, DLCTL_SILENT,
      DLCTL_OFFLINEIFNOTCONNECTED};
  DWORD all = 0;
  for (int i = 0; i < kUserInterfaceOptionCount; ++i) {
    EXPECT_EQ(OptionValue(static_cast<TUserInterfaceOption>(i)), ui[i]) << "member " << i;
    all |= ui[i];
  }
  EXPECT_EQ(all, 0x3FFF7FFFu);  // every single bit once, 0x8000 none
  all = 0;
  for (int i = 0; i < kDownloadOptionCount; ++i) {
    EXPECT_EQ(OptionValue(static_cast<TDownloadOption>(i)), dl[i]) << "member " << i;
    all |= dl[i];
  }
  EXPECT_EQ(all, 0xF007FFF0u);

  TEmbeddedWB host(nullptr);
  EXPECT_EQ(host.Name(), "www");
  EXPECT_EQ(host.UserInterfaceOptions().Value(), 0x44000u);
  EXPECT_EQ(host.DownloadOptions().Value(), 0x70u);
  EXPECT_EQ(host.DisableCtrlShortcuts(), "N");
  EXPECT_TRUE(host.ScriptErrorsSuppressed());
  EXPECT_EQ(host.ScriptErrorAction(), TScriptErrorAction::eaContinue);
  EXPECT_FALSE(host.Visible());
  host.SetScriptErrorsSuppressed(false);
  EXPECT_EQ(host.ScriptErrorAction(), TScriptErrorAction::eaAskUser);
}

TEST(HostInfo, RecordIsClearedFilledAndThenHandedToTheHandler) {
#ifndef _WIN64
  static_assert(sizeof(DOCHOSTUIINFO) == 20, "the platform's 32-bit record");
#endif
  TEmbeddedWB host(nullptr);
  ComPtr<IDocHostUIHandler> ui = SiteAs<IDocHostUIHandler>(host);

  DOCHOSTUIINFO info;
  std::memset(&info, 0xAB, sizeof info);  // whatever the caller left there
  ASSERT_EQ(ui->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, sizeof(DOCHOSTUIINFO));
  EXPECT_EQ(info.dwFlags, 0x44000u);
  EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));
  EXPECT_EQ(info.pchHostCss, nullptr);
  EXPECT_EQ(info.pchHostNS, nullptr);
  EXPECT_EQ(ui->GetHostInfo(nullptr), E_POINTER);

  // The console's handler: it sees the host's record and replaces size, flags and double-click.
  DOCHOSTUIINFO seen{};
  host.OnGetHostInfo = [&](TObject& sender, DOCHOSTUIINFO& pInfo) {
    EXPECT_EQ(&sender, &host);
    seen = pInfo;
    pInfo.cbSize = 12;
    pInfo.dwFlags = 12;
    pInfo.dwDoubleClick = 0;
  };
  host.HostCSS = "body { color: red }";
  ASSERT_EQ(ui->GetHostInfo(&info), S_OK);
  EXPECT_EQ(seen.cbSize, sizeof(DOCHOSTUIINFO));
  EXPECT_EQ(seen.dwFlags, 0x44000u);
  EXPECT_EQ(info.cbSize, 12u);
  EXPECT_EQ(info.dwFlags, 12u);
  ASSERT_NE(info.pchHostCss, nullptr);  // configured text fills a field the handler left null
  EXPECT_STREQ(info.pchHostCss, L"body { color: red }");
  EXPECT_EQ(info.pchHostNS, nullptr);
  CoTaskMemFree(info.pchHostCss);

  // An error in the handler does not unwind into the control.
  host.OnGetHostInfo = [](TObject&, DOCHOSTUIINFO&) { throw forms::EMurmellaError("no"); };
  EXPECT_EQ(ui->GetHostInfo(&info), E_FAIL);
}

TEST(HostDispatch, ExternalObjectAndNameLookupGoToTheHandlers) {
  TEmbeddedWB host(nullptr);
  ComPtr<IDocHostUIHandler> ui = SiteAs<IDocHostUIHandler>(host);
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(ui->GetExternal(&external), S_FALSE);  // no handler: nothing to offer
  EXPECT_EQ(external, nullptr);
  host.OnGetExternal = [&](TObject&, IDispatch*& pp) {
    EXPECT_EQ(pp, nullptr);
    pp = host.DispatchInterface();
    pp->AddRef();
  };
  ASSERT_EQ(ui->GetExternal(&external), S_OK);
  EXPECT_EQ(external, host.DispatchInterface());
  external->Release();

  IDispatch* d = host.DispatchInterface();
  UINT count = 7;
  EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(d->GetTypeInfo(0, 0, &info), E_NOTIMPL);

  wchar_t name[] = L"pagesetup";
  LPOLESTR names[] = {name};
  DISPID id = 12345;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
  std::vector<std::wstring> asked;
  host.OnGetIDsOfNames = [&](TObject&, REFIID, LPOLESTR* n, UINT c, LCID, DISPID* ids, HRESULT& rezult) {
    EXPECT_EQ(rezult, E_NOTIMPL);  // the host's own answer comes preset
    asked.emplace_back(n[0]);
    if (_wcsicmp(n[0], L"pagesetup") == 0) {
      ids[0] = 1;
      rezult = S_OK;
    }
  };
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 1);
  wchar_t other[] = L"other";
  names[0] = other;
  id = 12345;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
  EXPECT_EQ(id, 12345);  // untouched
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"pagesetup", L"other"}));
}

TEST(HostDispatch, InvokeAnswersItsAmbientTableAndPassesTheRestToOnInvoke) {
  TEmbeddedWB host(nullptr);
  host.SetDownloadOptions({});
  IDispatch* d = host.DispatchInterface();
  std::vector<DISPID> reached;
  host.OnInvoke = [&](TObject&, DISPID id, REFIID, LCID, WORD, DISPPARAMS&, VARIANT*, EXCEPINFO*, UINT*,
                      HRESULT& rezult) {
    EXPECT_EQ(rezult, DISP_E_MEMBERNOTFOUND);
    reached.push_back(id);
  };

  struct Row {
    DISPID id;
    WORD flags;
    bool slot;
    HRESULT hr;
    VARTYPE vt;
    LONG value;  // VT_BOOL: 0/1; VT_I4: the value; other types checked below
    bool reachesHandler;
  } rows[] = {
      {DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, true, S_OK, VT_I4, 0, false},
      {DISPID_AMBIENT_USERMODE, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 1, false},
      {DISPID_AMBIENT_USERAGENT, DISPATCH_PROPERTYGET, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},
      {DISPID_AMBIENT_AUTOCLIP, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 1, false},
      {DISPID_AMBIENT_SUPPORTSMNEMONICS, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 1, false},
      {DISPID_AMBIENT_MESSAGEREFLECT, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 1, false},
      {DISPID_AMBIENT_SHOWHATCHING, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 0, false},
      {DISPID_AMBIENT_SHOWGRABHANDLES, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 0, false},
      {DISPID_AMBIENT_UIDEAD, DISPATCH_PROPERTYGET, true, S_OK, VT_BOOL, 0, false},
      {DISPID_AMBIENT_LOCALEID, DISPATCH_PROPERTYGET, true, S_OK, VT_I4, static_cast<LONG>(GetUserDefaultLCID()), false},
      {DISPID_AMBIENT_FORECOLOR, DISPATCH_PROPERTYGET, true, S_OK, VT_I4, static_cast<LONG>(0x80000008), false},
      {DISPID_AMBIENT_BACKCOLOR, DISPATCH_PROPERTYGET, true, S_OK, VT_I4, static_cast<LONG>(0x80000005), false},
      {DISPID_AMBIENT_FONT, DISPATCH_PROPERTYGET, true, S_OK, VT_DISPATCH, 0, false},
      {DISPID_AMBIENT_DISPLAYNAME, DISPATCH_PROPERTYGET, true, S_OK, VT_BSTR, 0, false},
      {-5000, DISPATCH_PROPERTYGET, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},  // not an ambient we know
      {DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, false, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},  // no slot
      {DISPID_AMBIENT_AUTOCLIP, DISPATCH_METHOD, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},
      {1, DISPATCH_METHOD, true, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},  // the page's calls
      {2, DISPATCH_METHOD, false, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "dispid " << r.id << " flags " << r.flags);
    reached.clear();
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{};
    EXPECT_EQ(d->Invoke(r.id, IID_NULL, 0, r.flags, &none, r.slot ? &result : nullptr, nullptr, nullptr), r.hr);
    EXPECT_EQ(result.vt, r.vt);
    if (r.vt == VT_BOOL) {
      EXPECT_EQ(result.boolVal, r.value ? VARIANT_TRUE : VARIANT_FALSE);
    }
    if (r.vt == VT_I4) {
      EXPECT_EQ(result.lVal, r.value);
    }
    if (r.vt == VT_BSTR) {
      EXPECT_STREQ(result.bstrVal, L"www");
    }
    if (r.vt == VT_DISPATCH) {
      ComPtr<IFont> font;
      ASSERT_EQ(result.pdispVal->QueryInterface(IID_PPV_ARGS(&font)), S_OK);
      CY size{};
      font->get_Size(&size);
      // 8 points, as the platform realises it (the face is whatever the font mapper chose).
      EXPECT_GE(size.int64, 75000);
      EXPECT_LE(size.int64, 85000);
    }
    EXPECT_EQ(reached, r.reachesHandler ? std::vector<DISPID>{r.id} : std::vector<DISPID>{});
    VariantClear(&result);
  }

  // A configured user agent and download options are answered by the host.
  host.UserAgent = "MurmellaChat/1.0";
  host.SetDownloadOptions(kDefaultDownloadOptions);
  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none{};
  ASSERT_EQ(d->Invoke(DISPID_AMBIENT_USERAGENT, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_STREQ(result.bstrVal, L"MurmellaChat/1.0");
  VariantClear(&result);
  ASSERT_EQ(d->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.lVal, 0x70);

  // Nobody to answer: not found.
  host.OnInvoke = nullptr;
  EXPECT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST(HostDispatch, UserModePutIsStoredAndReadBackNegated) {
  TEmbeddedWB host(nullptr);
  IDispatch* d = host.DispatchInterface();
  auto read = [&] {
    VARIANT v;
    VariantInit(&v);
    DISPPARAMS none{};
    EXPECT_EQ(d->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    return v.boolVal;
  };
  auto put = [&](VARIANT value, UINT args) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, args, args};
    UINT argErr = 99;
    const HRESULT hr = d->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, &argErr);
    if (hr == DISP_E_TYPEMISMATCH) {
      EXPECT_EQ(argErr, 0u);
    }
    return hr;
  };
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(read(), VARIANT_TRUE);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(put(v, 1), S_OK);
  EXPECT_EQ(read(), VARIANT_FALSE);
  v.vt = VT_I4;
  v.lVal = 0;  // converted to a Boolean
  EXPECT_EQ(put(v, 1), S_OK);
  EXPECT_EQ(read(), VARIANT_TRUE);
  EXPECT_EQ(put(v, 0), DISP_E_BADPARAMCOUNT);
  VARIANT text;
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(L"not a Boolean");
  EXPECT_EQ(put(text, 1), DISP_E_TYPEMISMATCH);
  VariantClear(&text);
  EXPECT_EQ(read(), VARIANT_TRUE);
}

TEST(HostDispatch, AnErrorInOnInvokeBecomesAnExceptionWithItsClassAndMessage) {
  TEmbeddedWB host(nullptr);
  IDispatch* d = host.DispatchInterface();
  int calls = 0;
  host.OnInvoke = [&](TObject&, DISPID id, REFIID, LCID, WORD, DISPPARAMS&, VARIANT*, EXCEPINFO*, UINT*, HRESULT&) {
    ++calls;
    if (id == 1) throw forms::EMurmellaError("No visitor name", "EVisitorError", 42);
    if (id == 2) throw std::runtime_error("plain");
  };
  DISPPARAMS none{};
  EXCEPINFO e{};
  ASSERT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &e, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(e.wCode, 9999);
  EXPECT_STREQ(e.bstrSource, L"EVisitorError");
  EXPECT_STREQ(e.bstrDescription, L"No visitor name");
  EXPECT_EQ(e.dwHelpContext, 42u);
  SysFreeString(e.bstrSource);
  SysFreeString(e.bstrDescription);
  ASSERT_EQ(d->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &e, nullptr), DISP_E_EXCEPTION);
  EXPECT_STREQ(e.bstrDescription, L"plain");
  SysFreeString(e.bstrSource);
  SysFreeString(e.bstrDescription);
  // Without an EXCEPINFO the code alone tells; the host goes on answering.
  EXPECT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(d->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(calls, 4);
}

TEST(HostCommands, ScriptErrorsAreAnsweredByTheActionAndOtherCommandsAreUnknown) {
  TEmbeddedWB host(nullptr);
  ComPtr<IOleCommandTarget> target = SiteAs<IOleCommandTarget>(host);
  const GUID other = IID_IDispatch;
  struct Row {
    const GUID* group;
    DWORD cmd;
    TScriptErrorAction action;
    HRESULT hr;
    VARTYPE vt;
    VARIANT_BOOL out;
  } rows[] = {
      {&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, TScriptErrorAction::eaContinue, S_OK, VT_BOOL, VARIANT_TRUE},
      {&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, TScriptErrorAction::eaCancel, S_OK, VT_BOOL, VARIANT_FALSE},
      {&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, TScriptErrorAction::eaAskUser, OLECMDERR_E_NOTSUPPORTED, VT_EMPTY, 0},
      {&CGID_DocHostCommandHandler, OLECMDID_SHOWMESSAGE, TScriptErrorAction::eaContinue, OLECMDERR_E_UNKNOWNGROUP, VT_EMPTY, 0},
      {&other, OLECMDID_SHOWSCRIPTERROR, TScriptErrorAction::eaContinue, OLECMDERR_E_UNKNOWNGROUP, VT_EMPTY, 0},
      {nullptr, OLECMDID_SHOWSCRIPTERROR, TScriptErrorAction::eaContinue, OLECMDERR_E_UNKNOWNGROUP, VT_EMPTY, 0},
  };
  for (const Row& r : rows) {
    host.SetScriptErrorAction(r.action);
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(target->Exec(r.group, r.cmd, 0, nullptr, &out), r.hr) << r.cmd;
    EXPECT_EQ(out.vt, r.vt);
    if (r.vt == VT_BOOL) {
      EXPECT_EQ(out.boolVal, r.out);
    }
  }
  host.SetScriptErrorAction(TScriptErrorAction::eaContinue);
  EXPECT_EQ(target->Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, nullptr), S_OK);
}

TEST(HostKeys, CtrlNIsSwallowedAndEveryOtherKeyGoesToTheControl) {
  TEmbeddedWB host(nullptr);
  ComPtr<IDocHostUIHandler> ui = SiteAs<IDocHostUIHandler>(host);
  struct Row {
    UINT message;
    WPARAM key;
    bool control, alt;
    HRESULT hr;
  } rows[] = {
      {WM_KEYDOWN, 'N', true, false, S_OK},
      {WM_KEYDOWN, 'N', false, false, S_FALSE},
      {WM_KEYDOWN, 'N', true, true, S_FALSE},
      {WM_KEYUP, 'N', true, false, S_FALSE},
      {WM_CHAR, 'N', true, false, S_FALSE},
      {WM_KEYDOWN, 'M', true, false, S_FALSE},
      {WM_KEYDOWN, 'n', true, false, S_FALSE},  // 0x6E is the keypad's decimal key, not N
  };
  for (const Row& r : rows) {
    SetControlAndAlt(r.control, r.alt);
    MSG msg{nullptr, r.message, r.key, 0, 0, {0, 0}};
    EXPECT_EQ(ui->TranslateAccelerator(&msg, nullptr, 0), r.hr)
        << "message " << r.message << " key " << r.key << " ctrl " << r.control << " alt " << r.alt;
  }
  host.SetDisableCtrlShortcuts("NP");
  SetControlAndAlt(true, false);
  MSG p{nullptr, WM_KEYDOWN, 'P', 0, 0, {0, 0}};
  EXPECT_EQ(ui->TranslateAccelerator(&p, nullptr, 0), S_OK);
  EXPECT_EQ(ui->TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);
  SetControlAndAlt(false, false);
}

TEST(HostLifetime, WithoutAControlOperationsRaiseAndAHeldSiteOutlivesItsHost) {
  auto host = std::make_unique<TEmbeddedWB>(nullptr);
  EXPECT_EQ(host->Browser(), nullptr);
  ExpectMurmellaError([&] { host->Navigate("http://127.0.0.1/"); }, "EOleError");
  ExpectMurmellaError([&] { host->LocationURL(); }, "EOleError");

  ComPtr<IDispatch> held = host->DispatchInterface();
  host.reset();
  DISPPARAMS none{};
  EXPECT_EQ(held->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_UNEXPECTED);
  ComPtr<IDocHostUIHandler> ui;
  ASSERT_EQ(held.As(&ui), S_OK);
  DOCHOSTUIINFO info{};
  EXPECT_EQ(ui->GetHostInfo(&info), E_UNEXPECTED);
}

}  // namespace
}  // namespace murmella::pagehost
