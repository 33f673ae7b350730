#include "OleText.h"

#include <cstdio>
#include <cstring>

namespace murmella::pagehost {

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string WideToAnsi(const wchar_t* text, int length) {
  if (!text) return {};
  if (length < 0) length = static_cast<int>(wcslen(text));
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

BSTR AnsiToBstr(const std::string& text) {
  const std::wstring w = AnsiToWide(text);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

LPOLESTR AnsiToCoTaskString(const std::string& text) {
  const std::wstring w = AnsiToWide(text);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(wchar_t)));
  if (out) std::memcpy(out, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
  return out;
}

std::string OleErrorText(HRESULT hr) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ' || buf[n - 1] == '.')) --n;
  if (n > 0) return std::string(buf, n);
  std::snprintf(buf, sizeof buf, "OLE error %08lX", static_cast<unsigned long>(hr));
  return buf;
}

void RaiseOleError(HRESULT hr) { throw forms::EMurmellaError(OleErrorText(hr), "EOleSysError"); }

}  // namespace murmella::pagehost
