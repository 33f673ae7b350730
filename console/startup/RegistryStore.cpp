#include "ProgramPath.h"
#include "StartupRules.h"
#include "ovcstore.h"

#include <algorithm>
#include <vector>

namespace murmella::startup {

namespace {

[[noreturn]] void Fail(const std::string& text) { throw forms::EMurmellaError(text, kRegistryErrorClass); }

}  // namespace

TOvcRegistryStore::~TOvcRegistryStore() = default;

void TOvcRegistryStore::SetKeyName(const std::string& name) { keyName_ = std::string(TrimBackslashes(name)); }

std::string TOvcRegistryStore::EffectiveKeyName() const {
  return keyName_.empty() ? "Software\\" + ProgramBaseName(ProgramPath()) : keyName_;
}

void TOvcRegistryStore::DoOpen() {
  const std::string name = EffectiveKeyName();
  // The user's key is made first whatever the root, so every open leaves it in place.
  RegKey key = RegKey::Create(HKEY_CURRENT_USER, name, KEY_ALL_ACCESS);
  if (!key) Fail(RegCreateFailedText(name));
  if (root_ == TOvcRegistryRoot::rrLocalMachine) {
    key = RegKey::Create(HKEY_LOCAL_MACHINE, name, KEY_ALL_ACCESS);
    if (!key) Fail(RegCreateFailedText(name));
  }
  key_ = std::move(key);
}

void TOvcRegistryStore::DoClose() { key_.Reset(); }

std::string TOvcRegistryStore::ReadString(const std::string& section, const std::string& name,
                                          const std::string& fallback) {
  StoreOpen open(*this);
  RegKey sub = RegKey::Open(key_.Get(), section, KEY_READ);
  if (!sub) return fallback;
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return fallback;
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) Fail(RegInvalidTypeText(name));
  if (type != REG_SZ && type != REG_EXPAND_SZ) Fail(RegInvalidTypeText(name));
  std::vector<char> data(size + 1);
  // The value may change between the two calls; a second round takes the new size.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD got = DWORD(data.size());
    status = RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
    if (status == ERROR_MORE_DATA) {
      data.resize(got + 1);
      continue;
    }
    if (status == ERROR_FILE_NOT_FOUND) return fallback;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) Fail(RegInvalidTypeText(name));
    // Stored data need not end in a terminator; the text is what comes before the first one.
    std::string text(data.data(), got);
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
  }
  Fail(RegInvalidTypeText(name));
}

void TOvcRegistryStore::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  StoreOpen open(*this);
  RegKey sub = RegKey::Create(key_.Get(), section, KEY_ALL_ACCESS);
  if (!sub) Fail(RegCreateFailedText(EffectiveKeyName() + "\\" + section));
  if (RegSetValueExA(sub.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     DWORD(value.size() + 1)) != ERROR_SUCCESS)
    Fail(RegSetDataFailedText(name));
}

}  // namespace murmella::startup
