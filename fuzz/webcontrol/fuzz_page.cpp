// Script extraction and page decoding over arbitrary pages; address resolution of the page's
// first line against its second.
#include "PageRules.h"
#include "PageScripts.h"
#include "UrlResolve.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace murmella::webcontrol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  for (const TInlineScript& s : ExtractInlineScripts(page)) {
    if (s.Text.empty() || s.Text.size() > page.size() || s.Line < 1) std::abort();
    (void)DecodePageText(s.Text);
  }
  if (DecodePageText(page).size() > page.size()) std::abort();

  const std::size_t eol = page.find('\n');
  const std::string_view ref = page.substr(0, eol);
  const std::string_view base = eol == std::string_view::npos ? std::string_view{} : page.substr(eol + 1, 200);
  const std::string r = ResolveUrl(base, ref);
  if (!r.empty()) {
    if (UrlScheme(r).empty()) std::abort();
    for (unsigned char c : r)
      if (c < 0x20 || c == 0x7f) std::abort();
    (void)ClassifyAddress(r);
  }
  return 0;
}
