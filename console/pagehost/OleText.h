// Text at the COM boundary: the console's ANSI strings to and from UTF-16, and the error an
// OLE failure code is raised as.
#pragma once

#include "Classes.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace murmella::pagehost {

std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text, int length = -1);
// A new BSTR (or CoTaskMem string) holding `text`; the caller owns it.
BSTR AnsiToBstr(const std::string& text);
LPOLESTR AnsiToCoTaskString(const std::string& text);

// The platform's text for `hr`, or "OLE error XXXXXXXX" when it has none.
std::string OleErrorText(HRESULT hr);
// An EMurmellaError of class EOleSysError for `hr`.
[[noreturn]] void RaiseOleError(HRESULT hr);
inline void OleCheck(HRESULT hr) {
  if (FAILED(hr)) RaiseOleError(hr);
}

}  // namespace murmella::pagehost
