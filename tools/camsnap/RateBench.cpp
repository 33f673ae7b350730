#include "RateBench.h"

#include "SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace camsnap {

namespace {

class SettingsKey {
 public:
  SettingsKey() {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, vwc::kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~SettingsKey() {
    if (key_) RegCloseKey(key_);
  }
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

bool TCameraSettingsOverride::Set(const wchar_t* name, DWORD value) {
  SettingsKey key;
  if (!key.Get()) return false;
  if (std::none_of(saved_.begin(), saved_.end(), [&](const Saved& s) { return s.Name == name; })) {
    Saved s;
    s.Name = name;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &s.Type, nullptr, &size) == ERROR_SUCCESS) {
      s.Data.resize(size);
      s.Present = RegQueryValueExW(key.Get(), name, nullptr, &s.Type, s.Data.data(), &size) == ERROR_SUCCESS;
      s.Data.resize(size);
    }
    saved_.push_back(std::move(s));
  }
  return RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
         ERROR_SUCCESS;
}

TCameraSettingsOverride::~TCameraSettingsOverride() {
  if (saved_.empty()) return;
  SettingsKey key;
  if (!key.Get()) return;
  for (const Saved& s : saved_) {
    if (s.Present)
      RegSetValueExW(key.Get(), s.Name.c_str(), 0, s.Type, s.Data.data(), DWORD(s.Data.size()));
    else
      RegDeleteValueW(key.Get(), s.Name.c_str());
  }
}

int64_t Percentile(std::vector<int64_t> values, double q) {
  if (values.empty()) return 0;
  const size_t rank = size_t(std::ceil(q * double(values.size())));
  const size_t at = std::min(values.size() - 1, rank ? rank - 1 : 0);
  std::nth_element(values.begin(), values.begin() + ptrdiff_t(at), values.end());
  return values[at];
}

ScheduleStats MeasureSchedule(const std::vector<Frame>& frames, int64_t frameDuration) {
  ScheduleStats s;
  std::vector<int64_t> lateness;
  size_t first = frames.size(), last = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    if (!f.HasTime) continue;
    const int64_t late = f.ArrivalMicros - f.Start / 10;
    if (first == frames.size()) {
      first = i;
      s.FirstFrameUs = late;
    } else {
      lateness.push_back(late);
    }
    last = i;
  }
  if (first == frames.size()) return s;
  if (!lateness.empty()) {
    s.MedianLatenessUs = Percentile(lateness, 0.5);
    s.P90LatenessUs = Percentile(lateness, 0.9);
    s.MaxLatenessUs = *std::max_element(lateness.begin(), lateness.end());
  }
  s.DriftUs = (frames[last].Start - frames[first].Start - int64_t(last - first) * frameDuration) / 10;
  return s;
}

}  // namespace camsnap
