#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace murmella::bitmap32 {

class TNotifiablePersistent;
using TNotifyEvent = std::function<void(TNotifiablePersistent& Sender)>;

// Change notification held back while updates are nested.
class TNotifiablePersistent {
public:
  virtual ~TNotifiablePersistent() = default;
  virtual void Changed();
  virtual void BeginUpdate();
  virtual void EndUpdate();
  std::int32_t UpdateCount() const { return UpdateCount_; }
  TNotifyEvent OnChange;

protected:
  std::int32_t UpdateCount_ = 0;
};

// Adds a per-object lock; only destruction takes it.
class TThreadPersistent : public TNotifiablePersistent {
public:
  void Lock();
  void Unlock();
  std::int32_t LockCount() const { return LockCount_.load(); }

private:
  std::recursive_mutex Lock_;
  std::atomic<std::int32_t> LockCount_{0};
};

}  // namespace murmella::bitmap32
