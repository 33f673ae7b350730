// Small pieces every COM object of the control shares: text at the COM boundary, the
// exception barrier, dispatch interfaces without type information, single-interface lookup.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <wrl/client.h>

#include <new>
#include <string>

namespace murmella::webcontrol {

inline std::wstring Utf8ToWide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

inline std::string WideToUtf8(const wchar_t* w, std::size_t length) {
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), s.data(), n, nullptr, nullptr);
  return s;
}

inline std::string WideToUtf8(const std::wstring& w) { return WideToUtf8(w.data(), w.size()); }

// Takes over a reference the caller already owns (a new object's first one, an out
// parameter's). MinGW's ComPtr::Attach adds a reference of its own, which would leak one.
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* owned) {
  Microsoft::WRL::ComPtr<T> p;
  *p.GetAddressOf() = owned;
  return p;
}

// Nothing thrown inside may cross into the platform (COM callers, the window procedure).
template <class F>
HRESULT Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// A dispatch interface that callers reach by name only.
template <class Interface>
class TUntypedDispatch : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
    if (t) *t = nullptr;
    return E_NOTIMPL;
  }
};

// QueryInterface of an object with one interface (besides IUnknown).
template <class Interface>
HRESULT QueryOne(Interface* self, REFIID own, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != own) return E_NOINTERFACE;
  *out = self;
  self->AddRef();
  return S_OK;
}

}  // namespace murmella::webcontrol
