#include "SettingsStore.h"

#include "CameraSettings.h"

#include <windows.h>

#include <optional>

namespace vwc {

namespace {

class RegKey {
 public:
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Put() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::optional<int32_t> ReadDword(HKEY key, const wchar_t* name) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return std::nullopt;
  return int32_t(value);
}

void WriteDword(HKEY key, const wchar_t* name, int32_t value) {
  DWORD v = DWORD(value);
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

int32_t ReadOrWrite(HKEY key, const wchar_t* name, int32_t fallback) {
  if (auto v = ReadDword(key, name)) return *v;
  WriteDword(key, name, fallback);
  return fallback;
}

}  // namespace

CameraSettings LoadCameraSettings() {
  CameraSettings s{kDefaultVideoWidth, kDefaultVideoHeight, kDefaultFrameDuration, false};
  RegKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS)
    return s;
  s.VideoWidth = ReadOrWrite(key.Get(), L"VideoWidth", kDefaultVideoWidth);
  s.VideoHeight = ReadOrWrite(key.Get(), L"VideoHeight", kDefaultVideoHeight);
  if (auto rate = ReadDword(key.Get(), L"FramesPerSecond"))
    s.FrameDuration = FrameDurationFor(*rate);
  else
    WriteDword(key.Get(), L"FramesPerSecond", kDefaultFramesPerSecond);
  s.SingleFormat = ReadDword(key.Get(), L"SingleFormat").value_or(0) != 0;
  return s;
}

}  // namespace vwc
