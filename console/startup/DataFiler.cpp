#include "DataFiler.h"

#include "StartupRules.h"

namespace murmella::startup {

const forms::TPublishedProperty* FindPublished(const forms::TComponent& component, std::string_view name) {
  for (const auto& p : component.Published())
    if (SameName(p.Name, name)) return &p;
  return nullptr;
}

std::string TOvcDataFiler::ValueName(const forms::TComponent& component, const forms::TPublishedProperty& property) {
  return component.Name() + "." + property.Name;
}

void TOvcDataFiler::Restore(forms::TComponent& component, const forms::TPublishedProperty& property) {
  const std::string current = property.Get(component);
  const std::string stored(TrimControl(store_.ReadString(section_, ValueName(component, property), current)));
  // A Boolean property always reads as one of its two names; everything else is an integer.
  if (current == BoolText(true) || current == BoolText(false)) {
    if (const auto value = ParseBool(stored)) property.Set(component, BoolText(*value));
    return;
  }
  const auto number = ParseDecimal(stored);
  if (!number) return;
  const std::string text = std::to_string(*number);
  try {
    property.Set(component, text);
  } catch (...) {
    return;  // refused: the setter left the property as it was
  }
  if (property.Get(component) != text) property.Set(component, current);
}

void TOvcDataFiler::Save(const forms::TComponent& component, const forms::TPublishedProperty& property) {
  store_.WriteString(section_, ValueName(component, property), std::string(TrimControl(property.Get(component))));
}

}  // namespace murmella::startup
