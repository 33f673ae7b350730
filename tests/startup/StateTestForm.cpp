#include "StateTestForm.h"

#include "StartupRules.h"

#include <stdexcept>

namespace {

std::string BoolText(bool v) { return murmella::forms::BoolToText(v); }

bool BoolOf(const std::string& text) {
  bool v = false;
  if (!murmella::forms::TextToBool(text, v)) throw std::invalid_argument("not a Boolean: " + text);
  return v;
}

int IntOf(const std::string& text) {
  const auto v = murmella::forms::ReadInt(text);
  if (!v) throw std::invalid_argument("not a number: " + text);
  return *v;
}

template <class C>
const C& As(const TComponent& c) {
  return static_cast<const C&>(c);
}
template <class C>
C& As(TComponent& c) {
  return static_cast<C&>(c);
}

const TPublishedProperty kCheckBoxProperties[] = {
    {"Checked", [](const TComponent& c) { return (BoolText(As<TestCheckBox>(c).Checked())); },
     [](TComponent& c, const std::string& t) { As<TestCheckBox>(c).SetChecked(BoolOf(t)); }},
};

const TPublishedProperty kComboBoxProperties[] = {
    {"ItemIndex", [](const TComponent& c) { return std::to_string(As<TestComboBox>(c).ItemIndex()); },
     [](TComponent& c, const std::string& t) { As<TestComboBox>(c).SetItemIndex(IntOf(t)); }},
    {"Enabled", [](const TComponent& c) { return (BoolText(As<TestComboBox>(c).Enabled())); },
     [](TComponent& c, const std::string& t) { As<TestComboBox>(c).SetEnabled(BoolOf(t)); }},
    {"Selection", [](const TComponent& c) { return std::to_string(As<TestComboBox>(c).ItemIndex()); },
     [](TComponent& c, const std::string& t) { As<TestComboBox>(c).SetSelectionUnchecked(IntOf(t)); }},
};

}  // namespace

std::span<const TPublishedProperty> TestCheckBox::Published() const { return kCheckBoxProperties; }
std::span<const TPublishedProperty> TestComboBox::Published() const { return kComboBoxProperties; }

TestForm::TestForm() : TComponent(nullptr, "Form1") {
  window = CreateWindowExA(0, "STATIC", "MurmellaChat", WS_OVERLAPPEDWINDOW, 0, 0, 856, 584, nullptr, nullptr,
                           nullptr, nullptr);
  chstartup = new TestCheckBox(this, "chstartup", window);
  chpopup = new TestCheckBox(this, "chpopup", window);
  disconnect = new TestCheckBox(this, "disconnect", window);
  duree = new TestComboBox(this, "duree", window);
  // The console's one coupling of the options.
  disconnect->OnClick = [this](TObject&) { duree->SetEnabled(disconnect->Checked()); };
}

TestForm::~TestForm() {
  if (OnDestroy) OnDestroy(*this);
  // The controls go with the components, before their parent window.
  while (!Components().empty()) delete Components().back();
  DestroyWindow(window);
}
