// Downloads through WinHTTP, synchronously on a worker thread. Redirects are followed here
// rather than by WinHTTP so that the chain's bound and the final address are ours to know.
#include "PageFetch.h"

#include "ComSupport.h"
#include "PageRules.h"
#include "UrlResolve.h"

#include <winhttp.h>

#include <system_error>
#include <thread>
#include <vector>

namespace murmella::webcontrol {

namespace {

struct TInternetCloser {
  void operator()(void* h) const { WinHttpCloseHandle(h); }
};
using TInternet = std::unique_ptr<void, TInternetCloser>;

std::string SystemMessage(DWORD code) {
  const char* what = code == ERROR_WINHTTP_CANNOT_CONNECT        ? " (cannot connect)"
                     : code == ERROR_WINHTTP_TIMEOUT             ? " (timed out)"
                     : code == ERROR_WINHTTP_NAME_NOT_RESOLVED   ? " (server name not found)"
                     : code == ERROR_WINHTTP_INVALID_SERVER_RESPONSE ? " (invalid response)"
                     : code == ERROR_WINHTTP_CONNECTION_ERROR    ? " (connection reset)"
                                                                 : "";
  return "network error " + std::to_string(code) + what;
}

std::string TookTooLong() { return "page took longer than " + std::to_string(kMaxPageSeconds) + " s"; }

std::optional<std::wstring> QueryText(HINTERNET request, DWORD info) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

// One request/response; fills `r` and tells whether a redirect to `next` is due.
bool Exchange(HINTERNET session, const std::string& url, const std::atomic<bool>& cancelled, ULONGLONG deadline,
              TFetchResult& r, std::string& next) {
  const std::wstring wurl = Utf8ToWide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wurl.c_str(), 0, 0, &parts)) {
    r.StatusText = "bad address";
    return false;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (const auto hash = path.find(L'#'); hash != std::wstring::npos) path.erase(hash);
  if (path.empty()) path = L"/";
  TInternet connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
  if (!connection) {
    r.StatusText = SystemMessage(GetLastError());
    return false;
  }
  if (GetTickCount64() >= deadline) {
    r.StatusText = TookTooLong();
    return false;
  }
  TInternet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                       WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    r.StatusText = SystemMessage(GetLastError());
    return false;
  }
  // No single wait of the exchange outlasts what is left of the navigation's time.
  const int left = static_cast<int>(deadline - GetTickCount64());
  WinHttpSetTimeouts(request.get(), left, left, left, left);
  DWORD feature = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    r.StatusText = SystemMessage(GetLastError());
    return false;
  }
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  r.Status = static_cast<int>(status);
  const auto reason = QueryText(request.get(), WINHTTP_QUERY_STATUS_TEXT);
  r.StatusText = reason ? WideToUtf8(reason->data(), reason->size()) : std::string{};
  r.FinalUrl = url;
  if (IsRedirectStatus(r.Status)) {
    if (const auto location = QueryText(request.get(), WINHTTP_QUERY_LOCATION)) {
      next = ResolveUrl(url, WideToUtf8(location->data(), location->size()));
      if (RedirectAllowed(url, next)) return true;
      r.StatusText = ClassifyAddress(next) == TAddressKind::Http ? "redirect from https to http refused"
                                                                 : "redirect to an address not supported";
      return false;
    }
  }
  const auto contentType = QueryText(request.get(), WINHTTP_QUERY_CONTENT_TYPE);
  r.ContentType = contentType ? WideToUtf8(contentType->data(), contentType->size()) : std::string{};
  r.Body.clear();
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    if (cancelled) return false;
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got)) {
      r.StatusText = SystemMessage(GetLastError());
      return false;
    }
    if (got == 0) break;
    if (GetTickCount64() > deadline) {
      r.StatusText = TookTooLong();
      r.Body.clear();
      return false;
    }
    if (r.Body.size() + got > kMaxPageBytes) {
      r.StatusText = "page larger than " + std::to_string(kMaxPageBytes) + " bytes";
      r.Body.clear();
      return false;
    }
    r.Body.append(chunk.data(), got);
  }
  r.Loaded = true;
  return false;
}

}  // namespace

std::shared_ptr<TPageFetch> TPageFetch::Start(std::string url, std::wstring userAgent, HWND window, UINT message,
                                              WPARAM ticket, std::shared_ptr<std::atomic<int>> live) {
  std::shared_ptr<TPageFetch> fetch(new TPageFetch);
  // The thread keeps the shared state alive by itself; the control may drop its pointer at
  // any time (a new navigation, its own end) without waiting for the network.
  try {
    ++*live;
    std::thread([fetch, url = std::move(url), userAgent = std::move(userAgent), window, message, ticket, live] {
      fetch->Run(url, userAgent);
      --*live;
      PostMessageW(window, message, ticket, 0);
    }).detach();
  } catch (const std::system_error&) {
    --*live;
    // No thread to be had: the navigation ends at once, as one without an answer.
    fetch->result_ = TFetchResult{false, 0, "no thread for the download", {}, {}, {}};
    PostMessageW(window, message, ticket, 0);
  }
  return fetch;
}

void TPageFetch::Run(const std::string& url, const std::wstring& userAgent) {
  TFetchResult r;
  try {
    Download(url, userAgent, r);
  } catch (const std::bad_alloc&) {
    r = TFetchResult{};
    r.StatusText = "out of memory";
  }
  if (cancelled_) return;
  std::lock_guard<std::mutex> guard(lock_);
  result_ = std::move(r);
}

void TPageFetch::Download(const std::string& url, const std::wstring& userAgent, TFetchResult& r) {
  const ULONGLONG deadline = GetTickCount64() + kMaxPageSeconds * 1000ull;
  TInternet session(WinHttpOpen(userAgent.empty() ? L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)"
                                                  : userAgent.c_str(),
                                WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                0));
  if (!session) {
    r.StatusText = SystemMessage(GetLastError());
  } else {
    WinHttpSetTimeouts(session.get(), 10000, 10000, 15000, 15000);
    std::string current = url, next;
    int hops = 0;
    while (!cancelled_ && Exchange(session.get(), current, cancelled_, deadline, r, next)) {
      if (++hops > kMaxRedirects) {
        r = TFetchResult{};
        r.StatusText = "more than " + std::to_string(kMaxRedirects) + " redirects";
        break;
      }
      current = std::move(next);
    }
  }
}

std::optional<TFetchResult> TPageFetch::Take() {
  std::lock_guard<std::mutex> guard(lock_);
  std::optional<TFetchResult> r = std::move(result_);
  result_.reset();
  return r;
}

}  // namespace murmella::webcontrol
