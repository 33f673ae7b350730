// The video input devices that the system device enumerator lists, and binding one of them.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace camsnap {

struct VideoDevice {
  std::wstring FriendlyName;
  std::wstring ClassId;  // "{...}" as the device's property bag reports it; empty when absent
};

// S_FALSE when the category is empty (the enumerator then hands out no enumerator at all).
HRESULT ListVideoDevices(std::vector<VideoDevice>& devices);

// Binds the moniker of the first device whose friendly name equals name.
// VFW_E_NOT_FOUND when no device has that name.
HRESULT BindVideoDevice(const std::wstring& name, Microsoft::WRL::ComPtr<IBaseFilter>& filter);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

}  // namespace camsnap
