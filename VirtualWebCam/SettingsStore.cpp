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

bool WriteDword(HKEY key, const wchar_t* name, int32_t value) {
  DWORD v = DWORD(value);
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) == ERROR_SUCCESS;
}

int32_t ReadOrWrite(HKEY key, const wchar_t* name, int32_t fallback) {
  if (auto v = ReadDword(key, name)) return *v;
  WriteDword(key, name, fallback);
  return fallback;
}

bool OpenSettingsKey(RegKey& key) {
  return RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Put(),
                         nullptr) == ERROR_SUCCESS;
}

}  // namespace

CameraSettings LoadCameraSettings() {
  CameraSettings s{kDefaultVideoWidth, kDefaultVideoHeight, kDefaultFrameDuration, false};
  RegKey key;
  if (!OpenSettingsKey(key)) return s;
  s.VideoWidth = ReadOrWrite(key.Get(), L"VideoWidth", kDefaultVideoWidth);
  s.VideoHeight = ReadOrWrite(key.Get(), L"VideoHeight", kDefaultVideoHeight);
  if (auto rate = ReadDword(key.Get(), L"FramesPerSecond"))
    s.FrameDuration = FrameDurationFor(*rate);
  else
    WriteDword(key.Get(), L"FramesPerSecond", kDefaultFramesPerSecond);
  s.SingleFormat = ReadDword(key.Get(), L"SingleFormat").value_or(0) != 0;
  return s;
}

CaptureSettings LoadCaptureSettings() {
  CaptureSettings s;
  RegKey key;
  if (!OpenSettingsKey(key)) return s;
  for (const CaptureValue& v : kCaptureValues) {
    const auto stored = ReadDword(key.Get(), v.Name);
    if (stored && v.Allows(*stored)) {
      s.*v.Field = *stored;
    } else {
      s.*v.Field = v.Default;
      WriteDword(key.Get(), v.Name, v.Default);
    }
  }
  return s;
}

bool SaveCaptureSettings(const CaptureSettings& s) {
  RegKey key;
  if (!OpenSettingsKey(key)) return false;
  bool ok = true;
  for (const CaptureValue& v : kCaptureValues) ok = WriteDword(key.Get(), v.Name, s.*v.Field) && ok;
  return ok;
}

bool SaveFrameSettings(int32_t width, int32_t height, int32_t framesPerSecond, bool singleFormat) {
  RegKey key;
  if (!OpenSettingsKey(key)) return false;
  const bool w = WriteDword(key.Get(), L"VideoWidth", width);
  const bool h = WriteDword(key.Get(), L"VideoHeight", height);
  const bool r = WriteDword(key.Get(), L"FramesPerSecond", framesPerSecond);
  const bool f = WriteDword(key.Get(), L"SingleFormat", singleFormat ? 1 : 0);
  return w && h && r && f;
}

}  // namespace vwc
