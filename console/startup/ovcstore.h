// Stores for the state component: an abstract store that counts nested opens, and the
// registry store that maps a section and a value name onto a key of one registry hive.
#pragma once

#include "Classes.h"

#include <string>

#ifdef _WIN32
#include "RegistryKey.h"
#endif

namespace murmella::startup {

class TOvcAbstractStore : public forms::TComponent {
 public:
  using TComponent::TComponent;

  // Opens on the first of nested opens; a failed open leaves the count as it was.
  void Open();
  // Closes on the last; a close without an open does nothing.
  void Close();
  int OpenCount() const { return openCount_; }

  // The named value in the section, or `fallback` when the section or the value is missing.
  virtual std::string ReadString(const std::string& section, const std::string& name,
                                 const std::string& fallback) = 0;
  // Creates the section when needed and stores the value as text.
  virtual void WriteString(const std::string& section, const std::string& name, const std::string& value) = 0;

 protected:
  virtual void DoOpen() = 0;
  virtual void DoClose() = 0;

 private:
  int openCount_ = 0;
};

// Open for the life of a scope, closed on every way out of it.
class StoreOpen {
 public:
  explicit StoreOpen(TOvcAbstractStore& store) : store_(store) { store_.Open(); }
  ~StoreOpen() { store_.Close(); }
  StoreOpen(const StoreOpen&) = delete;
  StoreOpen& operator=(const StoreOpen&) = delete;

 private:
  TOvcAbstractStore& store_;
};

#ifdef _WIN32
enum class TOvcRegistryRoot { rrCurrentUser, rrLocalMachine };

class TOvcRegistryStore : public TOvcAbstractStore {
 public:
  using TOvcAbstractStore::TOvcAbstractStore;
  ~TOvcRegistryStore() override;

  // Stored without leading and trailing backslashes; empty means "Software\<program name>".
  const std::string& KeyName() const { return keyName_; }
  void SetKeyName(const std::string& name);
  TOvcRegistryRoot RegistryRoot() const { return root_; }
  void SetRegistryRoot(TOvcRegistryRoot root) { root_ = root; }

  // Values of REG_SZ and REG_EXPAND_SZ are read as stored, references unexpanded; any other
  // type fails with the registry error.
  std::string ReadString(const std::string& section, const std::string& name, const std::string& fallback) override;
  // Fails naming the key when the section cannot be created, naming the value when it cannot
  // be set.
  void WriteString(const std::string& section, const std::string& name, const std::string& value) override;

  // The key below the root that Open uses.
  std::string EffectiveKeyName() const;

 protected:
  void DoOpen() override;
  void DoClose() override;

 private:
  std::string keyName_;
  TOvcRegistryRoot root_ = TOvcRegistryRoot::rrCurrentUser;
  RegKey key_;
};
#endif

}  // namespace murmella::startup
