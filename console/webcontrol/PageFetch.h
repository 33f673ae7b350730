// One page download on a worker thread. The worker never touches the control: it leaves its
// result in state shared with the control and posts a message to the control's window, and
// the control picks the result up on its own thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace murmella::webcontrol {

struct TFetchResult {
  bool Loaded = false;     // a response arrived; its body is the page, whatever its status
  int Status = 0;          // HTTP status of the last response
  std::string StatusText;  // the reason phrase, or why nothing loaded
  std::string FinalUrl;    // the address after redirects
  std::string ContentType; // of the last response, as sent (it may name the page's charset)
  std::string Body;
};

class TPageFetch {
 public:
  // Starts the download of `url` (absolute http or https). `live` counts the workers running
  // for the control: one more until this one has ended. When it ends, cancelled or not,
  // `message` is posted to `window` with `ticket` as its wParam.
  static std::shared_ptr<TPageFetch> Start(std::string url, std::wstring userAgent, HWND window, UINT message,
                                           WPARAM ticket, std::shared_ptr<std::atomic<int>> live);

  // The worker stops at its next step and leaves no result; a blocked network call still runs
  // to its time-out, but holds nothing of the control.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

  // The result once the worker has finished (on the control's thread, after the message).
  std::optional<TFetchResult> Take();

 private:
  TPageFetch() = default;
  void Run(const std::string& url, const std::wstring& userAgent);
  void Download(const std::string& url, const std::wstring& userAgent, TFetchResult& r);

  std::atomic<bool> cancelled_{false};
  std::mutex lock_;
  std::optional<TFetchResult> result_;
};

}  // namespace murmella::webcontrol
