// Which web control the page host creates, decided once per process.
#pragma once

#include "EmbeddedWB.h"

#include <windows.h>
#include <wrl/client.h>

namespace murmella::pagehost {

// True when the platform can create an HTML document object, so that its WebBrowser control
// would render and script pages. Asked once; the answer goes to the debug output.
bool PlatformHasHtmlEngine();

// Creates the control `kind` names (Automatic: the platform's when it has an HTML engine, the
// stand-in otherwise). `platform` tells which one it is. Raises EOleSysError on failure.
Microsoft::WRL::ComPtr<IUnknown> CreateWebControl(TWebControlKind kind, bool& platform);

}  // namespace murmella::pagehost
