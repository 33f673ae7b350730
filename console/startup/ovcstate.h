// The state component: restores a list of component properties from a store when the window
// is created and saves them when it is closed or destroyed. TOvcAbstractState sequences
// restoring and saving and attaches to the window; TOvcComponentState holds the property list.
#pragma once

#include "AppLink.h"
#include "Classes.h"
#include "ovcstore.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace murmella::startup {

using TCloseQueryEvent = std::function<void(forms::TObject& Sender, bool& CanClose)>;

// The three notifications of the window the state component attaches to. A form satisfies it
// with its own members: TStateHost{form.OnCreate, form.OnCloseQuery, form.OnDestroy}.
struct TStateHost {
  forms::TNotifyEvent& OnCreate;
  TCloseQueryEvent& OnCloseQuery;
  forms::TNotifyEvent& OnDestroy;
};

class TOvcAbstractState : public forms::TComponent {
 public:
  // `host` is the window's notifications, attached in the after-load step; `app` shows the
  // errors of a save or restore run from them.
  TOvcAbstractState(forms::TComponent* owner, std::optional<TStateHost> host, std::unique_ptr<TAppLink> app,
                    std::string name = {});
  ~TOvcAbstractState() override;

  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  const std::string& Section() const { return section_; }
  void SetSection(const std::string& section) { section_ = section; }
  TOvcAbstractStore* Storage() const { return storage_; }
  void SetStorage(TOvcAbstractStore* store);

  forms::TNotifyEvent OnRestoreState;
  forms::TNotifyEvent OnSaveState;

  // Set once a restore has run; the saved flag is set by each save and cleared by each restore.
  bool Restored() const { return restored_; }
  bool Saved() const { return saved_; }

  void RestoreState();
  // Does nothing while no restore has run (a window whose create failed keeps what is stored).
  // A failed save leaves the saved flag as it was and propagates its error.
  void SaveState();

  // Chains the window's notifications to this component.
  void Loaded() override;

 protected:
  virtual void DoRestore(TOvcAbstractStore& store) = 0;
  virtual void DoSave(TOvcAbstractStore& store) = 0;
  void Notification(forms::TComponent& freed) override;

 private:
  std::optional<TStateHost> host_;
  std::unique_ptr<TAppLink> app_;
  bool active_ = true;
  std::string section_;
  TOvcAbstractStore* storage_ = nullptr;
  bool restored_ = false;
  bool saved_ = false;
  // The hooks reach this component through here; cleared when it goes, so a window that
  // outlives it only runs its own handlers.
  std::shared_ptr<TOvcAbstractState*> self_;

  TOvcAbstractStore& RequireStorage();
  void Guarded(void (TOvcAbstractState::*step)());
};

class TOvcComponentState : public TOvcAbstractState {
 public:
  TOvcComponentState(forms::TComponent* owner, std::optional<TStateHost> host, std::unique_ptr<TAppLink> app,
                     std::string name = {});
  // Owned by and attached to a form: anything with OnCreate, OnCloseQuery and OnDestroy.
  template <class Form>
  TOvcComponentState(Form& form, std::unique_ptr<TAppLink> app, std::string name = {})
      : TOvcComponentState(&form, TStateHost{form.OnCreate, form.OnCloseQuery, form.OnDestroy}, std::move(app),
                           std::move(name)) {}

  // Lines "component.property"; after the after-load step only the lines that name an
  // existing component remain, in their order.
  const std::vector<std::string>& StoredProperties() const { return lines_; }
  void SetStoredProperties(std::vector<std::string> lines) { lines_ = std::move(lines); }

  void Loaded() override;

 protected:
  void DoRestore(TOvcAbstractStore& store) override;
  void DoSave(TOvcAbstractStore& store) override;
  void Notification(forms::TComponent& freed) override;

 private:
  struct Entry {
    forms::TComponent* Component;
    std::string Property;
  };
  std::vector<std::string> lines_;
  std::vector<Entry> entries_;  // parallel to lines_ once resolved
};

}  // namespace murmella::startup
