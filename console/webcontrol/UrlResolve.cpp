#include "PageRules.h"
#include "UrlResolve.h"

#include <optional>

namespace murmella::webcontrol {

namespace {

struct TUrlParts {
  std::string Scheme;                   // empty: none
  std::optional<std::string> Authority;
  std::string Path;
  std::optional<std::string> Query;
  std::optional<std::string> Fragment;
};

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::size_t SchemeLength(std::string_view s) {
  if (s.empty() || !IsAlpha(s[0])) return 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ':') return i;
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

TUrlParts Split(std::string_view s) {
  TUrlParts p;
  if (const std::size_t n = SchemeLength(s)) {
    for (std::size_t i = 0; i < n; ++i) p.Scheme += Lower(s[i]);
    s.remove_prefix(n + 1);
  }
  if (const std::size_t hash = s.find('#'); hash != std::string_view::npos) {
    p.Fragment = std::string(s.substr(hash + 1));
    s = s.substr(0, hash);
  }
  if (const std::size_t q = s.find('?'); q != std::string_view::npos) {
    p.Query = std::string(s.substr(q + 1));
    s = s.substr(0, q);
  }
  if (s.substr(0, 2) == "//") {
    s.remove_prefix(2);
    const std::size_t slash = s.find('/');
    p.Authority = std::string(s.substr(0, slash));
    s = slash == std::string_view::npos ? std::string_view{} : s.substr(slash);
  }
  p.Path = std::string(s);
  return p;
}

// Removes "." and ".." segments; ".." never climbs above the root.
std::string RemoveDotSegments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.substr(0, 3) == "../") in.remove_prefix(3);
    else if (in.substr(0, 2) == "./") in.remove_prefix(2);
    else if (in.substr(0, 3) == "/./") in.remove_prefix(2);
    else if (in == "/.") in = "/";
    else if (in.substr(0, 4) == "/../" || in == "/..") {
      in = in.size() == 3 ? std::string_view("/") : in.substr(3);
      const std::size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (in == "." || in == "..") in = {};
    else {
      std::size_t next = in.find('/', in[0] == '/' ? 1 : 0);
      if (next == std::string_view::npos) next = in.size();
      out.append(in.substr(0, next));
      in.remove_prefix(next);
    }
  }
  return out;
}

std::string Merge(const TUrlParts& base, const std::string& refPath) {
  if (base.Authority && base.Path.empty()) return "/" + refPath;
  const std::size_t slash = base.Path.rfind('/');
  if (slash == std::string::npos) return refPath;
  return base.Path.substr(0, slash + 1) + refPath;
}

std::string Join(const TUrlParts& p) {
  std::string s = p.Scheme + ":";
  if (p.Authority) s += "//" + *p.Authority;
  s += p.Path;
  if (p.Query) s += "?" + *p.Query;
  if (p.Fragment) s += "#" + *p.Fragment;
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r' ||
                        s.front() == '\f'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r' ||
                        s.back() == '\f'))
    s.remove_suffix(1);
  return s;
}

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

}  // namespace

std::string UrlScheme(std::string_view url) { return Split(Trim(url)).Scheme; }

std::string ResolveUrl(std::string_view baseText, std::string_view refText) {
  refText = Trim(refText);
  if (HasControl(refText) || HasControl(baseText)) return {};
  const TUrlParts ref = Split(refText);
  TUrlParts t;
  if (!ref.Scheme.empty()) {
    t = ref;
    t.Path = RemoveDotSegments(ref.Path);
    return Join(t);
  }
  const TUrlParts base = Split(baseText);
  // Only a hierarchical base ("scheme://..." or "scheme:/...") gives relative references a meaning.
  if (base.Scheme.empty() || (!base.Authority && (base.Path.empty() || base.Path[0] != '/'))) return {};
  t.Scheme = base.Scheme;
  t.Fragment = ref.Fragment;
  if (ref.Authority) {
    t.Authority = ref.Authority;
    t.Path = RemoveDotSegments(ref.Path);
    t.Query = ref.Query;
  } else {
    t.Authority = base.Authority;
    if (ref.Path.empty()) {
      t.Path = base.Path;
      t.Query = ref.Query ? ref.Query : base.Query;
    } else {
      t.Path = RemoveDotSegments(ref.Path[0] == '/' ? ref.Path : Merge(base, ref.Path));
      t.Query = ref.Query;
    }
  }
  return Join(t);
}

TAddressKind ClassifyAddress(std::string_view url) {
  const std::string scheme = UrlScheme(url);
  if (scheme == "http" || scheme == "https") {
    const TUrlParts p = Split(Trim(url));
    return p.Authority && !p.Authority->empty() ? TAddressKind::Http : TAddressKind::Unsupported;
  }
  std::string lower;
  for (char c : Trim(url)) lower += Lower(c);
  if (lower == "about:blank") return TAddressKind::Blank;
  return TAddressKind::Unsupported;
}

bool RedirectAllowed(std::string_view from, std::string_view to) {
  if (ClassifyAddress(to) != TAddressKind::Http) return false;
  return !(UrlScheme(from) == "https" && UrlScheme(to) == "http");
}

}  // namespace murmella::webcontrol
