// Requests to the stand-in service from inside a Windows test or benchmark, over WinHTTP:
// queueing visitors, putting up test pages, fetching pages.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>

namespace murmella::pagehost {

struct TInternetCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using unique_hinternet = std::unique_ptr<void, TInternetCloser>;

// The service's address from the test run (scripts/test-service), empty when there is none.
inline std::string ServiceUrl() {
  const char* url = std::getenv("MURMELLA_SERVICE_URL");
  return url ? url : "";
}

// Sends `method` to the service's `path` with `body` on a connection of its own; returns the
// HTTP status, or 0 when the service could not be reached. The response body goes to
// `response` when given.
inline int ServiceRequest(const wchar_t* method, const std::string& path, const std::string& body = {},
                          std::string* response = nullptr) {
  const std::string url = ServiceUrl() + path;
  std::wstring wide(url.begin(), url.end());
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256], object[2048];
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = object;
  parts.dwUrlPathLength = 2048;
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) return 0;
  unique_hinternet session(WinHttpOpen(L"pagehost-tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return 0;
  unique_hinternet connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
  if (!connection) return 0;
  unique_hinternet request(WinHttpOpenRequest(connection.get(), method, object, nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request) return 0;
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr))
    return 0;
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  std::string received;
  char chunk[8192];
  DWORD got = 0;
  while (WinHttpReadData(request.get(), chunk, sizeof chunk, &got) && got > 0) received.append(chunk, got);
  if (response) *response = std::move(received);
  return static_cast<int>(status);
}

// `text` with every byte outside the unreserved set percent-encoded, for a query value.
inline std::string UrlEncode(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace murmella::pagehost
