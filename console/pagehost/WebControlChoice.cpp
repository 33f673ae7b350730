#include "WebControlChoice.h"

#include "OleText.h"

#include <exdisp.h>
#include <mshtml.h>

#if MURMELLA_HAVE_STANDIN_CONTROL
#include "StandInBrowser.h"
#endif

namespace murmella::pagehost {

using Microsoft::WRL::ComPtr;

bool PlatformHasHtmlEngine() {
  // The platform's control is of use only with an engine behind it; where none is installed it
  // would never run a page.
  static const bool has = [] {
    ComPtr<IUnknown> document;
    const bool found = SUCCEEDED(
        CoCreateInstance(CLSID_HTMLDocument, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&document)));
    OutputDebugStringA(found ? "pagehost: the platform has an HTML engine; hosting its WebBrowser control\n"
                             : "pagehost: the platform has no HTML engine; hosting the stand-in web control\n");
    return found;
  }();
  return has;
}

ComPtr<IUnknown> CreateWebControl(TWebControlKind kind, bool& platform) {
  platform = kind == TWebControlKind::Platform || (kind == TWebControlKind::Automatic && PlatformHasHtmlEngine());
  ComPtr<IUnknown> control;
  HRESULT hr;
  if (platform) {
    hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&control));
  } else {
#if MURMELLA_HAVE_STANDIN_CONTROL
    hr = CreateStandInWebBrowser(control.GetAddressOf());
#else
    hr = REGDB_E_CLASSNOTREG;
#endif
  }
  OleCheck(hr);
  if (!control) RaiseOleError(E_NOINTERFACE);
  return control;
}

}  // namespace murmella::pagehost
