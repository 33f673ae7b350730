#include "DataFiler.h"

#include "StartupRules.h"

namespace murmella::startup {

std::string TOvcDataFiler::ValueName(const forms::TComponent& component, const forms::TPublishedProperty& property) {
  return component.Name() + "." + property.Name;
}

void TOvcDataFiler::Restore(forms::TComponent& component, const forms::TPublishedProperty& property) {
  const std::string current = property.Get(component);
  const std::string stored(TrimControl(store_.ReadString(section_, ValueName(component, property), current)));
  // A Boolean property always reads as one of its two names; everything else is an integer.
  if (current == forms::BoolToText(true) || current == forms::BoolToText(false)) {
    if (bool value = false; forms::TextToBool(stored, value)) property.Set(component, forms::BoolToText(value));
    return;
  }
  const auto number = forms::ReadInt(stored);
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
