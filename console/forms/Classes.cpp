#include "Classes.h"

#include <algorithm>
#include <cctype>

namespace murmella::forms {

TComponent::TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {
  if (owner_) owner_->Adopt(this);
}

TComponent::~TComponent() {
  // Owned components go first, newest first, so nothing outlives what it was created after.
  while (!owned_.empty()) {
    TComponent* child = owned_.back();
    delete child;  // its destructor takes it out of owned_
  }
  // Tell whoever references this one; a notified component may unregister itself meanwhile.
  auto listeners = std::move(notifyOnFree_);
  for (TComponent* other : listeners) {
    other->RemoveFreeNotification(*this);
    other->Notification(*this);
  }
  if (owner_) owner_->Release(this);
}

void TComponent::Adopt(TComponent* child) { owned_.push_back(child); }

void TComponent::Release(TComponent* child) {
  owned_.erase(std::remove(owned_.begin(), owned_.end(), child), owned_.end());
  RemoveFreeNotification(*child);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  auto same = [&](const std::string& n) {
    return n.size() == name.size() &&
           std::equal(n.begin(), n.end(), name.begin(), [](unsigned char a, unsigned char b) {
             return std::tolower(a) == std::tolower(b);
           });
  };
  for (TComponent* c : owned_)
    if (same(c->Name())) return c;
  return nullptr;
}

void TComponent::LoadedAll() {
  for (TComponent* c : std::vector<TComponent*>(owned_)) c->Loaded();
}

void TComponent::FreeNotification(TComponent& other) {
  if (&other == this) return;
  if (std::find(notifyOnFree_.begin(), notifyOnFree_.end(), &other) == notifyOnFree_.end())
    notifyOnFree_.push_back(&other);
  // Both directions: whichever goes first tells the other.
  if (std::find(other.notifyOnFree_.begin(), other.notifyOnFree_.end(), this) == other.notifyOnFree_.end())
    other.notifyOnFree_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent& other) {
  notifyOnFree_.erase(std::remove(notifyOnFree_.begin(), notifyOnFree_.end(), &other), notifyOnFree_.end());
}

}  // namespace murmella::forms
