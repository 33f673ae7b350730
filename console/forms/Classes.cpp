#include "Classes.h"

#include <algorithm>
#include <string>

namespace murmella::forms {

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string BoolToText(bool value) { return value ? "True" : "False"; }

bool TextToBool(const std::string& text, bool& value) {
  if (SameName(text, "True")) value = true;
  else if (SameName(text, "False")) value = false;
  else return false;
  return true;
}

std::string IntToText(int value) { return std::to_string(value); }

std::optional<int> ReadInt(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i == text.size()) return std::nullopt;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return std::nullopt;
  return static_cast<int>(v);
}

int TextToInt(const std::string& text) { return ReadInt(text).value_or(0); }

int StrToInt(const std::string& text) {
  if (const std::optional<int> v = ReadInt(text)) return *v;
  throw EMurmellaError("'" + text + "' is not a valid integer value", "EConvertError");
}

const TPublishedProperty* FindPublished(const TComponent& component, const std::string& name) {
  for (const TPublishedProperty& p : component.Published())
    if (SameName(p.Name, name)) return &p;
  return nullptr;
}

TComponent::TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {
  if (owner_) owner_->Adopt(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  // Tell whoever references this one; a notified component may unregister itself meanwhile.
  auto listeners = std::move(notifyOnFree_);
  for (TComponent* other : listeners) {
    other->RemoveFreeNotification(*this);
    other->Notification(*this);
  }
  if (owner_) owner_->Release(this);
}

void TComponent::DestroyComponents() {
  // Newest first, so nothing outlives what it was created after.
  while (!owned_.empty()) {
    TComponent* child = owned_.back();
    delete child;  // its destructor takes it out of owned_
  }
}

void TComponent::Adopt(TComponent* child) { owned_.push_back(child); }

void TComponent::Release(TComponent* child) {
  owned_.erase(std::remove(owned_.begin(), owned_.end(), child), owned_.end());
  RemoveFreeNotification(*child);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : owned_)
    if (SameName(c->Name(), name)) return c;
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
  // Both directions, as registration made both: a reference left behind on either side would
  // be followed after its component is gone.
  notifyOnFree_.erase(std::remove(notifyOnFree_.begin(), notifyOnFree_.end(), &other), notifyOnFree_.end());
  other.notifyOnFree_.erase(std::remove(other.notifyOnFree_.begin(), other.notifyOnFree_.end(), this),
                            other.notifyOnFree_.end());
}

}  // namespace murmella::forms
