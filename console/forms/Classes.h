// The component vocabulary the console is written in: objects that raise events, components
// with an owner and a name, free notification, the after-load step, the few properties the
// state store reaches by name, and the error type every event may raise.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace murmella::forms {

// An error with the class name that the error boxes show beside its message.
class EMurmellaError : public std::runtime_error {
 public:
  explicit EMurmellaError(const std::string& message, std::string className = "Exception",
                          unsigned long helpContext = 0)
      : std::runtime_error(message), className_(std::move(className)), helpContext_(helpContext) {}
  const std::string& ClassName() const { return className_; }
  unsigned long HelpContext() const { return helpContext_; }

 private:
  std::string className_;
  unsigned long helpContext_;
};

class TObject {
 public:
  virtual ~TObject() = default;
};

// Events receive the object that raised them.
using TNotifyEvent = std::function<void(TObject& Sender)>;

class TComponent;

// A Boolean or integer property reachable as "component.property" by the state store.
struct TPublishedProperty {
  const char* Name;
  std::function<std::string(const TComponent&)> Get;  // "True"/"False" or decimal text
  std::function<void(TComponent&, const std::string&)> Set;
};

// The text forms of the two kinds of published property: "True"/"False" and signed decimal.
std::string BoolToText(bool value);
// "True" or "False" in any letter case; anything else leaves `value` and answers false.
bool TextToBool(const std::string& text, bool& value);
std::string IntToText(int value);
// Signed decimal text without anything around it; nothing for other text or beyond 32 bits.
std::optional<int> ReadInt(const std::string& text);
// The same, with 0 for text that is not such a number.
int TextToInt(const std::string& text);
// The same reading for a value that must be a number: other text raises EConvertError.
int StrToInt(const std::string& text);

// Table entries for a component's Boolean and integer properties, from its getter and setter.
template <typename T>
TPublishedProperty BoolProperty(const char* name, bool (T::*get)() const, void (T::*set)(bool)) {
  return {name, [get](const TComponent& c) { return BoolToText((static_cast<const T&>(c).*get)()); },
          [set](TComponent& c, const std::string& text) {
            bool v = false;
            if (TextToBool(text, v)) (static_cast<T&>(c).*set)(v);
          }};
}
template <typename T>
TPublishedProperty IntProperty(const char* name, int (T::*get)() const, void (T::*set)(int)) {
  return {name, [get](const TComponent& c) { return IntToText((static_cast<const T&>(c).*get)()); },
          [set](TComponent& c, const std::string& text) { (static_cast<T&>(c).*set)(TextToInt(text)); }};
}

// The property named `name`, compared without regard to case, or null.
const TPublishedProperty* FindPublished(const TComponent& component, const std::string& name);

// Compares two names the way component and property names are compared: ASCII letters
// without regard to case.
bool SameName(const std::string& a, const std::string& b);

class TComponent : public TObject {
 public:
  // The owner keeps the new component and frees it with itself.
  explicit TComponent(TComponent* owner, std::string name = {});
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TComponent* Owner() const { return owner_; }
  std::span<TComponent* const> Components() const { return owned_; }
  TComponent* FindComponent(const std::string& name) const;  // case-insensitive, owned only

  // The after-load step, run once every component of the owner has its settings.
  virtual void Loaded() {}
  // Runs Loaded on every owned component, in creation order.
  void LoadedAll();

  virtual std::span<const TPublishedProperty> Published() const { return {}; }

  // `other` is told (Notification) when this component is freed, so it can drop a reference.
  void FreeNotification(TComponent& other);
  void RemoveFreeNotification(TComponent& other);

 protected:
  // A component this one registered with through FreeNotification is being freed.
  virtual void Notification(TComponent& freed) {}
  // Frees the owned components, newest first. A derived destructor whose owned components
  // still need it (windows whose parent it is, handlers bound to its members) calls this
  // first; ~TComponent does it for the rest.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> owned_;           // in creation order; freed in reverse
  std::vector<TComponent*> notifyOnFree_;    // components holding a reference to this one
  void Adopt(TComponent* child);
  void Release(TComponent* child);
};

// Points a component's reference `field` at `value`, moving the free notification from the
// old target to the new one, so that `holder` hears when the target is freed.
template <typename T>
void SetReference(TComponent& holder, T*& field, T* value) {
  if (field == value) return;
  if (field) field->RemoveFreeNotification(holder);
  field = value;
  if (field) field->FreeNotification(holder);
}

}  // namespace murmella::forms
