// The inline scripts of an HTML page, found the way an HTML parser finds them: in document
// order, skipping comments and the text of raw-text elements, with the start line of each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace murmella::webcontrol {

struct TInlineScript {
  std::string Text;         // the script as written, legacy comment wrappers removed
  std::size_t Line = 1;     // line of the page (from 1) on which the text starts
};

// Scripts with a src attribute, or whose type or language names something other than
// JavaScript, are not inline JavaScript and are left out.
std::vector<TInlineScript> ExtractInlineScripts(std::string_view html);

// Page bytes as UTF-16: UTF-8 where the bytes are valid UTF-8, each other byte read as
// Latin-1, so that any page yields text and nothing is dropped silently.
std::u16string DecodePageText(std::string_view bytes);

}  // namespace murmella::webcontrol
