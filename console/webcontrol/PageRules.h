// Rules of loading a page that need no platform: what counts as a redirect, how far redirects
// and page bodies may go, and which addresses the control loads at all.
#pragma once

#include <cstddef>
#include <string_view>

namespace murmella::webcontrol {

// A chain longer than this is a loop (or as good as one); the navigation fails instead of
// following it for ever.
inline constexpr int kMaxRedirects = 10;

// Pages the console loads are a few kilobytes; a body that grows past this bound is abandoned
// and the navigation fails, so a runaway server cannot make the console hold unbounded memory.
inline constexpr std::size_t kMaxPageBytes = 4u << 20;

// Downloads of one control running at the same time. A cancelled download cannot be cut short
// (its worker waits for the server or its time-out), so a page that navigates on every tick of
// a timer to a server that does not answer would otherwise pile up workers; past this bound a
// navigation waits for a worker to end.
inline constexpr int kMaxDownloads = 4;

// The whole of one navigation, every redirect and the body included, ends within this long: a
// server trickling bytes or a chain of slow redirects is abandoned.
inline constexpr unsigned kMaxPageSeconds = 30;

inline bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

enum class TAddressKind { Http, Blank, Unsupported };

// http and https go to the network, about:blank is an empty page, anything else (file:, data:,
// javascript:, relative text) is not loaded.
TAddressKind ClassifyAddress(std::string_view absoluteUrl);

// Whether a response at `from` may send the navigation on to `to` (absolute): only to http or
// https, and never from https down to plain http, where anyone on the path could answer.
bool RedirectAllowed(std::string_view from, std::string_view to);

}  // namespace murmella::webcontrol
