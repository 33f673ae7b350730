// TOvcDataFiler turns a component's published property into stored text and back, for one
// restore or save through a store. Only the kinds the console persists exist: Boolean
// properties, whose text is "True" or "False", and integer properties, whose text is decimal.
#pragma once

#include "Classes.h"
#include "ovcstore.h"

#include <string>
#include <string_view>

namespace murmella::startup {

// The property the component exposes under `name`, in any letter case; null when none.
using forms::FindPublished;

class TOvcDataFiler {
 public:
  TOvcDataFiler(TOvcAbstractStore& store, std::string section) : store_(store), section_(std::move(section)) {}

  // "<component name>.<declared property name>".
  static std::string ValueName(const forms::TComponent& component, const forms::TPublishedProperty& property);

  // Reads the stored text (the current value when nothing is stored) and sets the property
  // from it. Text a property cannot take leaves it as it was: a Boolean text that is neither
  // "True" nor "False" in any case, an integer text that is not a decimal number, and a
  // number the property's setter refuses, by throwing or by not reading back as given (a list
  // told to select an item it lacks clears its selection instead). Registry failures propagate.
  void Restore(forms::TComponent& component, const forms::TPublishedProperty& property);
  // Writes the property's text, trimmed, as a string value.
  void Save(const forms::TComponent& component, const forms::TPublishedProperty& property);

 private:
  TOvcAbstractStore& store_;
  std::string section_;
};

}  // namespace murmella::startup
