// Owning wrappers for the platform's handles: each handle the console creates has exactly one
// owner, which frees it in its destructor. Move-only, in the style of unique_ptr.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace murmella::forms {

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::pointer;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer h) noexcept : h_(h) {}
  ~unique_handle() { reset(); }
  unique_handle(unique_handle&& other) noexcept : h_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;

  pointer get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
  // Gives the handle up without freeing it.
  pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
  void reset(pointer h = Traits::invalid()) noexcept {
    pointer old = std::exchange(h_, h);
    if (old != Traits::invalid()) Traits::close(old);
  }
  // For functions that return a handle through an out parameter; frees the current one first.
  pointer* put() noexcept {
    reset();
    return &h_;
  }

 private:
  pointer h_ = Traits::invalid();
};

namespace handle_traits {

template <typename T, auto Close>
struct Null {
  using pointer = T;
  static constexpr pointer invalid() noexcept { return nullptr; }
  static void close(pointer h) noexcept { Close(h); }
};

inline void CloseWindow(HWND h) noexcept { ::DestroyWindow(h); }
inline void CloseGdi(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void CloseIcon(HICON h) noexcept { ::DestroyIcon(h); }
inline void CloseMenu(HMENU h) noexcept { ::DestroyMenu(h); }
inline void CloseKey(HKEY h) noexcept { ::RegCloseKey(h); }
inline void CloseKernel(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseImageList(HIMAGELIST h) noexcept { ::ImageList_Destroy(h); }
inline void CloseMemoryDc(HDC h) noexcept { ::DeleteDC(h); }

// CreateFile and a few others answer INVALID_HANDLE_VALUE for failure instead of null.
struct File {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) noexcept { ::CloseHandle(h); }
};

}  // namespace handle_traits

using unique_hwnd = unique_handle<handle_traits::Null<HWND, handle_traits::CloseWindow>>;
using unique_hfont = unique_handle<handle_traits::Null<HFONT, handle_traits::CloseGdi>>;
using unique_hbrush = unique_handle<handle_traits::Null<HBRUSH, handle_traits::CloseGdi>>;
using unique_hpen = unique_handle<handle_traits::Null<HPEN, handle_traits::CloseGdi>>;
using unique_hbitmap = unique_handle<handle_traits::Null<HBITMAP, handle_traits::CloseGdi>>;
using unique_hrgn = unique_handle<handle_traits::Null<HRGN, handle_traits::CloseGdi>>;
using unique_hicon = unique_handle<handle_traits::Null<HICON, handle_traits::CloseIcon>>;
using unique_hmenu = unique_handle<handle_traits::Null<HMENU, handle_traits::CloseMenu>>;
using unique_hkey = unique_handle<handle_traits::Null<HKEY, handle_traits::CloseKey>>;
using unique_kernel_handle = unique_handle<handle_traits::Null<HANDLE, handle_traits::CloseKernel>>;
using unique_hfile = unique_handle<handle_traits::File>;
using unique_himagelist = unique_handle<handle_traits::Null<HIMAGELIST, handle_traits::CloseImageList>>;
using unique_hdc_memory = unique_handle<handle_traits::Null<HDC, handle_traits::CloseMemoryDc>>;

// A window's device context from GetDC, given back with ReleaseDC.
class unique_window_dc {
 public:
  explicit unique_window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~unique_window_dc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  unique_window_dc(const unique_window_dc&) = delete;
  unique_window_dc& operator=(const unique_window_dc&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// The device context of one WM_PAINT, from BeginPaint to EndPaint.
class unique_paint_dc {
 public:
  explicit unique_paint_dc(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &ps_)) {}
  ~unique_paint_dc() { ::EndPaint(window_, &ps_); }
  unique_paint_dc(const unique_paint_dc&) = delete;
  unique_paint_dc& operator=(const unique_paint_dc&) = delete;
  HDC get() const noexcept { return dc_; }
  const RECT& PaintRect() const noexcept { return ps_.rcPaint; }
  bool EraseBackground() const noexcept { return ps_.fErase != FALSE; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// An object selected into a DC for one scope; the previous one goes back on exit.
class selected_object {
 public:
  selected_object(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(object ? ::SelectObject(dc, object) : nullptr) {}
  ~selected_object() {
    if (old_) ::SelectObject(dc_, old_);
  }
  selected_object(const selected_object&) = delete;
  selected_object& operator=(const selected_object&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace murmella::forms
