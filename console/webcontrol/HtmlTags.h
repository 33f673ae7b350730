// The pieces of HTML tokenising that both the script finder and the charset prescan need:
// ASCII case folding, tag-name ends and a start tag's attributes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace murmella::webcontrol {

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether `s` has `word` (lower case) at `at`, in any case.
bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view word);

// A tag name ends at white space, '>' or '/' (or the end of the page).
bool TagNameEndsAt(std::string_view s, std::size_t at);

// Position of "</name" closing a raw-text element started before `from`, or npos.
std::size_t FindEndTag(std::string_view s, std::size_t from, std::string_view name);

struct TAttribute {
  std::string Name;   // lower case
  std::string Value;
};

// Reads the attributes of a start tag from just after its name; returns the position after
// its '>' (or the end of the page when the tag never closes).
std::size_t ReadAttributes(std::string_view s, std::size_t p, std::vector<TAttribute>& out);

// `v` without surrounding white space, in lower case.
std::string LowerTrimmed(std::string_view v);

}  // namespace murmella::webcontrol
