#include "ovcstate.h"

#include "DataFiler.h"
#include "StartupRules.h"

namespace murmella::startup {

TOvcAbstractState::TOvcAbstractState(forms::TComponent* owner, std::optional<TStateHost> host,
                                     std::unique_ptr<TAppLink> app, std::string name)
    : TComponent(owner, std::move(name)),
      host_(host),
      app_(std::move(app)),
      self_(std::make_shared<TOvcAbstractState*>(this)) {}

TOvcAbstractState::~TOvcAbstractState() { *self_ = nullptr; }

void TOvcAbstractState::SetStorage(TOvcAbstractStore* store) {
  if (storage_ == store) return;
  if (storage_) storage_->RemoveFreeNotification(*this);
  storage_ = store;
  if (storage_) storage_->FreeNotification(*this);
}

void TOvcAbstractState::Notification(forms::TComponent& freed) {
  if (&freed == storage_) storage_ = nullptr;
}

TOvcAbstractStore& TOvcAbstractState::RequireStorage() {
  if (!storage_) throw forms::EMurmellaError("No storage assigned to " + Name());
  return *storage_;
}

void TOvcAbstractState::RestoreState() {
  restored_ = true;
  saved_ = false;
  TOvcAbstractStore& store = RequireStorage();
  {
    StoreOpen open(store);
    DoRestore(store);
  }
  if (OnRestoreState) OnRestoreState(*this);
}

void TOvcAbstractState::SaveState() {
  if (!restored_) return;
  TOvcAbstractStore& store = RequireStorage();
  {
    StoreOpen open(store);
    DoSave(store);
  }
  if (OnSaveState) OnSaveState(*this);
  saved_ = true;
}

// A failure inside a window notification is shown and the window's create, close or
// destruction goes on.
void TOvcAbstractState::Guarded(void (TOvcAbstractState::*step)()) {
  try {
    (this->*step)();
  } catch (const std::exception& e) {
    if (app_) app_->ShowErrorBox(e.what());
  }
}

void TOvcAbstractState::Loaded() {
  if (!host_) return;
  const std::weak_ptr<TOvcAbstractState*> self = self_;
  auto live = [self]() -> TOvcAbstractState* {
    const auto p = self.lock();
    return p ? *p : nullptr;
  };
  // After the window's own create handler: a create that fails restores nothing.
  host_->OnCreate = [live, previous = std::move(host_->OnCreate)](forms::TObject& sender) {
    if (previous) previous(sender);
    if (auto* state = live(); state && state->active_) state->Guarded(&TOvcAbstractState::RestoreState);
  };
  host_->OnCloseQuery = [live, previous = std::move(host_->OnCloseQuery)](forms::TObject& sender, bool& canClose) {
    if (previous) previous(sender, canClose);
    if (auto* state = live(); state && canClose && state->active_)
      state->Guarded(&TOvcAbstractState::SaveState);
  };
  // Saved whenever a restore ran, also after an earlier close saved: a change made since that
  // close (an option ticked, then the program ended from the tray) would be lost otherwise.
  host_->OnDestroy = [live, previous = std::move(host_->OnDestroy)](forms::TObject& sender) {
    if (auto* state = live(); state && state->active_) state->Guarded(&TOvcAbstractState::SaveState);
    if (previous) previous(sender);
  };
  host_.reset();  // attached once
}

TOvcComponentState::TOvcComponentState(forms::TComponent* owner, std::optional<TStateHost> host,
                                       std::unique_ptr<TAppLink> app, std::string name)
    : TOvcAbstractState(owner, host, std::move(app), std::move(name)) {}

void TOvcComponentState::Loaded() {
  std::vector<std::string> kept;
  entries_.clear();
  for (const std::string& line : lines_) {
    const auto parts = SplitStoredLine(line);
    if (!parts || !Owner()) continue;
    forms::TComponent* component = Owner()->FindComponent(parts->Component);
    if (!component) continue;
    kept.push_back(line);
    entries_.push_back({component, parts->Property});
    component->FreeNotification(*this);
  }
  lines_ = std::move(kept);
  TOvcAbstractState::Loaded();
}

void TOvcComponentState::Notification(forms::TComponent& freed) {
  TOvcAbstractState::Notification(freed);
  for (std::size_t i = entries_.size(); i-- > 0;) {
    if (entries_[i].Component != &freed) continue;
    entries_.erase(entries_.begin() + std::ptrdiff_t(i));
    lines_.erase(lines_.begin() + std::ptrdiff_t(i));
  }
}

void TOvcComponentState::DoRestore(TOvcAbstractStore& store) {
  TOvcDataFiler filer(store, Section());
  for (const Entry& e : entries_) {
    const forms::TPublishedProperty* property = FindPublished(*e.Component, e.Property);
    if (!property) continue;
    try {
      filer.Restore(*e.Component, *property);
    } catch (...) {
      // One bad value (a non-string type, say) costs only its own property.
    }
  }
}

void TOvcComponentState::DoSave(TOvcAbstractStore& store) {
  TOvcDataFiler filer(store, Section());
  for (const Entry& e : entries_)
    if (const forms::TPublishedProperty* property = FindPublished(*e.Component, e.Property))
      filer.Save(*e.Component, *property);
}

}  // namespace murmella::startup
