#include "DeviceList.h"

#include <oleauto.h>

using Microsoft::WRL::ComPtr;

namespace camsnap {

namespace {

std::wstring ReadBagString(IPropertyBag* bag, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  std::wstring out;
  if (SUCCEEDED(bag->Read(name, &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal) out = v.bstrVal;
  VariantClear(&v);
  return out;
}

// Calls visit(moniker, device) for every device of the category until visit returns true.
template <class Visit>
HRESULT ForEachDevice(Visit visit) {
  ComPtr<ICreateDevEnum> devEnum;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&devEnum));
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> monikers;
  hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VideoDevice device{ReadBagString(bag.Get(), L"FriendlyName"), ReadBagString(bag.Get(), L"CLSID")};
    if (visit(moniker.Get(), device)) break;
  }
  return S_OK;
}

}  // namespace

HRESULT ListVideoDevices(std::vector<VideoDevice>& devices) {
  devices.clear();
  return ForEachDevice([&](IMoniker*, const VideoDevice& d) {
    devices.push_back(d);
    return false;
  });
}

HRESULT BindVideoDevice(const std::wstring& name, ComPtr<IBaseFilter>& filter) {
  filter.Reset();
  HRESULT bound = VFW_E_NOT_FOUND;
  HRESULT hr = ForEachDevice([&](IMoniker* moniker, const VideoDevice& d) {
    if (d.FriendlyName != name) return false;
    bound = moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter));
    return true;
  });
  return FAILED(hr) ? hr : bound;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

}  // namespace camsnap
