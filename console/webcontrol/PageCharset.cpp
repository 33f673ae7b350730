#include "PageCharset.h"

#include "HtmlTags.h"
#include "Utf8Text.h"

#include <string>
#include <vector>

namespace murmella::webcontrol {

namespace {

struct TLabel {
  std::string_view Name;
  unsigned CodePage;
};

// The labels pages use, mapped as browsers map them: ISO-8859-1 and US-ASCII are read as
// windows-1252 (pages labelled so are written in it), GB2312 as GBK, EUC-KR as windows-949.
constexpr TLabel kLabels[] = {
    {"utf-8", 65001}, {"utf8", 65001}, {"unicode-1-1-utf-8", 65001}, {"x-unicode20utf8", 65001},
    {"utf-16", 1200}, {"utf-16le", 1200}, {"unicode", 1200}, {"ucs-2", 1200}, {"csunicode", 1200},
    {"iso-10646-ucs-2", 1200}, {"unicodefeff", 1200}, {"utf-16be", 1201}, {"unicodefffe", 1201},
    {"windows-1252", 1252}, {"cp1252", 1252}, {"x-cp1252", 1252}, {"iso-8859-1", 1252}, {"iso8859-1", 1252},
    {"iso_8859-1", 1252}, {"iso88591", 1252}, {"latin1", 1252}, {"l1", 1252}, {"us-ascii", 1252},
    {"ascii", 1252}, {"ansi_x3.4-1968", 1252}, {"cp819", 1252}, {"ibm819", 1252}, {"csisolatin1", 1252},
    {"windows-1250", 1250}, {"cp1250", 1250}, {"x-cp1250", 1250},
    {"windows-1251", 1251}, {"cp1251", 1251}, {"x-cp1251", 1251},
    {"windows-1253", 1253}, {"cp1253", 1253}, {"x-cp1253", 1253},
    {"windows-1254", 1254}, {"cp1254", 1254}, {"x-cp1254", 1254}, {"iso-8859-9", 1254}, {"latin5", 1254},
    {"windows-1255", 1255}, {"cp1255", 1255}, {"x-cp1255", 1255},
    {"windows-1256", 1256}, {"cp1256", 1256}, {"x-cp1256", 1256},
    {"windows-1257", 1257}, {"cp1257", 1257}, {"x-cp1257", 1257},
    {"windows-1258", 1258}, {"cp1258", 1258}, {"x-cp1258", 1258},
    {"windows-874", 874}, {"tis-620", 874}, {"iso-8859-11", 874}, {"dos-874", 874},
    {"iso-8859-2", 28592}, {"latin2", 28592}, {"iso-8859-3", 28593}, {"iso-8859-4", 28594},
    {"iso-8859-5", 28595}, {"cyrillic", 28595}, {"iso-8859-6", 28596}, {"arabic", 28596},
    {"iso-8859-7", 28597}, {"greek", 28597}, {"iso-8859-8", 28598}, {"hebrew", 28598},
    {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"latin9", 28605},
    {"koi8-r", 20866}, {"koi8", 20866}, {"cskoi8r", 20866}, {"koi8-u", 21866}, {"koi8-ru", 21866},
    {"ibm866", 866}, {"cp866", 866}, {"866", 866},
    {"shift_jis", 932}, {"shift-jis", 932}, {"sjis", 932}, {"ms_kanji", 932}, {"x-sjis", 932},
    {"windows-31j", 932}, {"csshiftjis", 932}, {"euc-jp", 20932}, {"x-euc-jp", 20932},
    {"iso-2022-jp", 50220}, {"gbk", 936}, {"gb2312", 936}, {"gb_2312", 936}, {"gb_2312-80", 936},
    {"x-gbk", 936}, {"cp936", 936}, {"chinese", 936}, {"csgb2312", 936}, {"gb18030", 54936},
    {"big5", 950}, {"big5-hkscs", 950}, {"cn-big5", 950}, {"x-x-big5", 950}, {"csbig5", 950},
    {"euc-kr", 949}, {"ks_c_5601-1987", 949}, {"windows-949", 949}, {"korean", 949}, {"cseuckr", 949},
    {"x-mac-roman", 10000}, {"macintosh", 10000}, {"mac", 10000},
};

bool IsUtf16(unsigned codePage) { return codePage == kUtf16LeCodePage || codePage == kUtf16BeCodePage; }

// The charset the first <meta> near the top of the page names, skipping comments and the
// attributes of other tags, as browsers' prescan does. A page that names UTF-16 there is read
// as UTF-8: its <meta> could only be read because the bytes were ASCII.
std::optional<unsigned> MetaCodePage(std::string_view page) {
  const std::string_view top = page.substr(0, kCharsetPrescanBytes);
  std::size_t p = 0;
  while ((p = top.find('<', p)) != std::string_view::npos) {
    if (top.substr(p, 4) == "<!--") {
      const std::size_t end = page.find("-->", p + 4);
      if (end == std::string_view::npos) return std::nullopt;
      p = end + 3;
      continue;
    }
    if (StartsWithNoCase(page, p + 1, "meta") && TagNameEndsAt(page, p + 5)) {
      std::vector<TAttribute> attrs;
      p = ReadAttributes(page, p + 5, attrs);
      std::optional<std::string_view> label;
      bool contentType = false;
      std::optional<std::string_view> content;
      for (const TAttribute& a : attrs) {
        if (a.Name == "charset" && !label) label = a.Value;
        if (a.Name == "http-equiv" && LowerTrimmed(a.Value) == "content-type") contentType = true;
        if (a.Name == "content" && !content) content = a.Value;
      }
      if (!label && contentType && content) label = CharsetParameter(*content);
      if (label) {
        if (const auto cp = CodePageForLabel(*label)) return IsUtf16(*cp) ? kUtf8CodePage : *cp;
      }
      continue;
    }
    const bool endTag = top.substr(p, 2) == "</";
    const std::size_t name = p + (endTag ? 2 : 1);
    if (name < page.size() && ((page[name] | 0x20) >= 'a' && (page[name] | 0x20) <= 'z')) {
      std::size_t q = name;
      while (!TagNameEndsAt(page, q)) ++q;
      std::vector<TAttribute> ignored;
      p = ReadAttributes(page, q, ignored);
      continue;
    }
    if (top.substr(p, 2) == "<!" || top.substr(p, 2) == "</" || top.substr(p, 2) == "<?") {
      const std::size_t end = page.find('>', p);
      if (end == std::string_view::npos) return std::nullopt;
      p = end + 1;
      continue;
    }
    ++p;
  }
  return std::nullopt;
}

}  // namespace

std::optional<unsigned> CodePageForLabel(std::string_view label) {
  const std::string l = LowerTrimmed(label);
  for (const TLabel& k : kLabels)
    if (k.Name == l) return k.CodePage;
  return std::nullopt;
}

std::optional<std::string_view> CharsetParameter(std::string_view v) {
  std::size_t p = 0;
  for (;;) {
    std::size_t at = std::string_view::npos;
    for (std::size_t i = p; i + 7 <= v.size(); ++i)
      if (StartsWithNoCase(v, i, "charset")) {
        at = i;
        break;
      }
    if (at == std::string_view::npos) return std::nullopt;
    p = at + 7;
    while (p < v.size() && IsSpace(v[p])) ++p;
    if (p >= v.size() || v[p] != '=') continue;  // "charset" in another word or parameter
    ++p;
    while (p < v.size() && IsSpace(v[p])) ++p;
    if (p >= v.size()) return std::nullopt;
    if (v[p] == '"' || v[p] == '\'') {
      const std::size_t end = v.find(v[p], p + 1);
      if (end == std::string_view::npos) return std::nullopt;
      return v.substr(p + 1, end - p - 1);
    }
    std::size_t end = p;
    while (end < v.size() && !IsSpace(v[end]) && v[end] != ';') ++end;
    return v.substr(p, end - p);
  }
}

bool IsUtf8(std::string_view b) {
  for (std::size_t i = 0; i < b.size();) {
    char32_t cp = 0;
    const std::size_t n = text::Utf8SequenceAt(b, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

TPageEncoding ChoosePageEncoding(std::string_view contentType, std::string_view page) {
  if (page.substr(0, 3) == "\xEF\xBB\xBF") return {kUtf8CodePage, 3, TCharsetSource::ByteOrderMark};
  if (page.substr(0, 2) == "\xFF\xFE") return {kUtf16LeCodePage, 2, TCharsetSource::ByteOrderMark};
  if (page.substr(0, 2) == "\xFE\xFF") return {kUtf16BeCodePage, 2, TCharsetSource::ByteOrderMark};
  if (const auto label = CharsetParameter(contentType))
    if (const auto cp = CodePageForLabel(*label)) return {*cp, 0, TCharsetSource::Header};
  if (const auto cp = MetaCodePage(page)) return {*cp, 0, TCharsetSource::Meta};
  if (IsUtf8(page)) return {kUtf8CodePage, 0, TCharsetSource::Utf8Bytes};
  return {kSystemCodePage, 0, TCharsetSource::SystemCodePage};
}

}  // namespace murmella::webcontrol
