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

// Byte values are those of the Windows-1252 code page. "&amp;" keeps its ampersand doubled
// so that prefix processing shows one.
constexpr std::array<Entity, 9> kEntities{{
    {"&amp;", "&&"},
    {"&quot;", "\""},
    {"&sect;", "\xA7"},
    {"&permil;", "\x89"},
    {"&reg;", "\xAE"},
    {"&copy;", "\xA9"},
    {"&para;", "\xB6"},
    {"&trade;", "\x99"},
    {"&euro;", "\x80"},
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

// The repetition rule is quadratic if followed naively, and a visitor's name comes from a web
// page. Each entity keeps a lower bound below which it is known not to occur; a replacement
// can create a new occurrence only where it overlaps the replaced text, so only that window
// is re-examined and the bounds otherwise shift with the text. The result is the same as
// the naive rule (the tests compare both).
void ReplaceEntities(std::string& s) {
  if (s.find('&') == std::string::npos) return;
  std::array<std::size_t, kEntities.size()> bound{};
  for (;;) {
    bool replaced = false;
    for (std::size_t e = 0; e < kEntities.size(); ++e) {
      const Entity& ent = kEntities[e];
      std::size_t q = FindNoCase(s, ent.From, bound[e]);
      if (q == std::string::npos) {
        bound[e] = s.size();
        continue;
      }
      bound[e] = q;
      const std::size_t a = ent.From.size(), b = ent.To.size();
      s.replace(q, a, ent.To);
      replaced = true;
      for (std::size_t k = 0; k < kEntities.size(); ++k) {
        const std::size_t len = kEntities[k].From.size();
        std::size_t f = bound[k];
        if (f > q) f = std::max(q + b, f > a - b ? f - (a - b) : 0);
        const std::size_t lo = q + 1 > len ? q + 1 - len : 0;
        for (std::size_t st = lo; st < q + b && st < f; ++st)
          if (MatchesAt(s, st, kEntities[k].From)) {
            f = st;
            break;
          }
        bound[k] = f;
      }
    }
    if (!replaced) break;
  }
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
