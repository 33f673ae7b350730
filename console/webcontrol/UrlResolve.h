// Resolving a reference (a redirect's Location, a script's location.href) against the address
// of the page it came from, the way browsers do for hierarchical URLs.
#pragma once

#include <string>
#include <string_view>

namespace murmella::webcontrol {

// The absolute URL `ref` names when read on the page at `base`. An absolute `ref` stands
// alone (its dot segments removed); a relative one needs an absolute hierarchical `base`. The
// result is empty when the reference cannot be resolved (no usable base, or a control
// character in either).
std::string ResolveUrl(std::string_view base, std::string_view ref);

// The scheme of an absolute URL in lower case, or empty when `url` has none.
std::string UrlScheme(std::string_view url);

}  // namespace murmella::webcontrol
