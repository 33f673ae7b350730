#include "PageCharset.h"

#include <windows.h>

namespace murmella::webcontrol {

namespace {

std::wstring FromUtf16(std::string_view b, bool bigEndian) {
  std::wstring out;
  out.reserve(b.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    const unsigned char lo = static_cast<unsigned char>(b[i + (bigEndian ? 1 : 0)]);
    const unsigned char hi = static_cast<unsigned char>(b[i + (bigEndian ? 0 : 1)]);
    out += static_cast<wchar_t>(lo | (hi << 8));
  }
  if (b.size() % 2) out += L'\xFFFD';  // a lone last byte is no character
  return out;
}

bool FromCodePage(unsigned codePage, std::string_view b, std::wstring& out) {
  if (b.empty()) return true;
  const int n = MultiByteToWideChar(codePage, 0, b.data(), static_cast<int>(b.size()), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(codePage, 0, b.data(), static_cast<int>(b.size()), out.data(), n) == n;
}

}  // namespace

std::wstring DecodePage(std::string_view contentType, std::string_view page) {
  const TPageEncoding e = ChoosePageEncoding(contentType, page);
  const std::string_view text = page.substr(e.Skip);
  if (e.CodePage == kUtf16LeCodePage || e.CodePage == kUtf16BeCodePage)
    return FromUtf16(text, e.CodePage == kUtf16BeCodePage);
  std::wstring out;
  if (FromCodePage(e.CodePage, text, out)) return out;
  out.clear();
  FromCodePage(CP_ACP, text, out);
  return out;
}

}  // namespace murmella::webcontrol
