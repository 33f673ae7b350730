// The stand-in for the platform's WebBrowser control, for platforms whose control has no HTML
// engine. It loads pages over HTTP and runs their inline scripts in JScript with a small
// `window`, and drives its container the way the platform's control does. It renders nothing.
//
// The object lives in the creating thread's single-threaded apartment (COM must be initialised
// there) and answers IWebBrowser2 (Navigate, LocationURL, Visible, Busy, ReadyState,
// StatusText, Stop, Quit), IDispatch (LocationURL, dispatch number 211), IOleObject,
// IOleInPlaceObject, IOleInPlaceActiveObject and IOleControl. Everything happens on that
// thread; downloads run on worker threads (at most kMaxDownloads at a time) and come back
// through the thread's message loop.
//
// Outcomes of a navigation:
// - a response with any status (404 and 500 included) is a loaded page: LocationURL becomes the
//   address after redirects, StatusText the status ("404 Not Found"), and its scripts run;
// - no response (unreachable server, more than kMaxRedirects redirects, a body past
//   kMaxPageBytes, an address that is neither http(s) nor about:blank) ends on an error page
//   like the platform's: LocationURL is the requested address, StatusText says why, no script
//   runs.
// A new navigation cancels the pending one. One the host asks for also stops the timers of the
// page being left, so that a page navigating on every tick cannot keep the host's from
// completing. Work that would replace or close a page (a completed download, Quit, a new site)
// while one of its scripts is on the stack (a host handler pumping messages) waits until that
// script has returned; timers falling due meanwhile fire afterwards, never nested.
#pragma once

#include <unknwn.h>

HRESULT CreateStandInWebBrowser(IUnknown** out);
