#include "NotifiablePersistent.h"

#include "Bitmap32Errors.h"

namespace murmella::bitmap32 {

void TNotifiablePersistent::Changed() {
  if (UpdateCount_ == 0 && OnChange) OnChange(*this);
}

void TNotifiablePersistent::BeginUpdate() { ++UpdateCount_; }

void TNotifiablePersistent::EndUpdate() {
  Assert(UpdateCount_ > 0, "Unpaired TThreadPersistent.EndUpdate");
  --UpdateCount_;
}

void TThreadPersistent::Lock() {
  LockCount_.fetch_add(1);
  Lock_.lock();
}

void TThreadPersistent::Unlock() {
  Lock_.unlock();
  LockCount_.fetch_sub(1);
}

}  // namespace murmella::bitmap32
