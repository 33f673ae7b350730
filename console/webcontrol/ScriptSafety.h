// What keeps a page's script inside its page: the engine's mode for untrusted data and a host
// security manager that answers every question of the engine with "no". Together they make
// `new ActiveXObject(...)` and `GetObject(...)` of any name a script error the page can catch,
// with nothing created or bound.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <servprov.h>

namespace murmella::webcontrol {

// Puts `engine` in its safe mode (untrusted data, the host's security manager consulted).
// False when the engine will not take it: such an engine must not run a page.
bool MakeEngineSafe(IActiveScript* engine);

// The script site's IServiceProvider answer: the refusing security manager for
// SID_SInternetHostSecurityManager, nothing for any other service.
HRESULT QueryPageSecurity(REFGUID service, REFIID iid, void** out);

}  // namespace murmella::webcontrol
