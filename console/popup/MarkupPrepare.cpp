#include "MarkupPrepare.h"

#include "MarkupValues.h"

#include <algorithm>
#include <array>

namespace murmella::popup {

namespace {

struct Entity {
  std::string_view From;
  std::string_view To;
};

// The characters of the Windows-1252 bytes the markup has always given them (A7, 89, AE, A9,
// B6, 99, 80), written in UTF-8 as the rest of the text. "&amp;" keeps its ampersand doubled
// so that prefix processing shows one.
constexpr std::array<Entity, 9> kEntities{{
    {"&amp;", "&&"},
    {"&quot;", "\""},
    {"&sect;", "\xC2\xA7"},
    {"&permil;", "\xE2\x80\xB0"},
    {"&reg;", "\xC2\xAE"},
    {"&copy;", "\xC2\xA9"},
    {"&para;", "\xC2\xB6"},
    {"&trade;", "\xE2\x84\xA2"},
    {"&euro;", "\xE2\x82\xAC"},
}};

bool MatchesAt(const std::string& s, std::size_t at, std::string_view what) {
  if (at + what.size() > s.size()) return false;
  return FindNoCase(std::string_view(s).substr(at, what.size()), what) == 0;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t at = s.find(from, pos);
    if (at == std::string::npos) break;
    out.append(s, pos, at - pos);
    out.append(to);
    pos = at + from.size();
  }
  if (pos == 0) return;
  out.append(s, pos, std::string::npos);
  s.swap(out);
}

}  // namespace

// The repetition rule is quadratic if followed literally, and a visitor's name comes from a web
// page. Every entity starts with its only "&" and ends with ";", so no two occurrences can
// overlap and the rewriting ends in the same text whatever the order of replacement. One pass
// left to right reaches it: after each ";" the tail of the output is checked against the
// entities. A replacement can only start a new entity at an "&" it put out ("&amp;" gives
// "&&"), and that entity ends in text still to come, where the pass will meet it.
void ReplaceEntities(std::string& s) {
  if (s.find('&') == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    out += c;
    if (c != ';') continue;
    for (const Entity& ent : kEntities) {
      const std::size_t n = ent.From.size();
      if (out.size() >= n && MatchesAt(out, out.size() - n, ent.From)) {
        out.resize(out.size() - n);
        out.append(ent.To);
        break;
      }
    }
  }
  s.swap(out);
}

TPreparedMarkup PrepareMarkup(std::string_view markup) {
  TPreparedMarkup r;
  r.Prefix = markup.find(" & ") == std::string_view::npos;
  r.Text.assign(markup);
  ReplaceEntities(r.Text);

  std::size_t hash = r.Text.find("<#");
  if (hash != std::string::npos) {
    r.Text.erase(hash, 1);
    std::size_t gt = r.Text.find('>', hash);
    if (gt != std::string::npos) r.Text.erase(gt, 1);
  }

  if (r.Text.find_first_of("\r\n") != std::string::npos) {
    std::string out;
    out.reserve(r.Text.size() + 16);
    for (char c : r.Text) {
      if (c == '\r')
        out += "<BR>";
      else if (c != '\n')
        out += c;
    }
    r.Text.swap(out);
  }
  return r;
}

std::string ReplaceRunEntities(std::string_view run) {
  std::string r(run);
  if (r.find('&') == std::string::npos) return r;
  ReplaceAll(r, "&nbsp;", " ");
  ReplaceAll(r, "&lt;", "<");
  ReplaceAll(r, "&gt;", ">");
  return r;
}

}  // namespace murmella::popup
