#include "AutoRun.h"

#include "ProgramPath.h"
#include "RegistryKey.h"
#include "StartupRules.h"

namespace murmella::startup {

namespace {

constexpr TKeyReg kAllKeys[] = {TKeyReg::RUN, TKeyReg::RUNSERVICES, TKeyReg::RUNONCE};

bool SetString(const RegKey& key, const std::string& name, const std::string& data) {
  if (RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     DWORD(data.size() + 1)) != ERROR_SUCCESS)
    return false;
  // Written through at once: the next logon must see it even if the program dies first.
  return RegFlushKey(key.Get()) == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, TKeyReg key, const std::string& title) {
  if (RegKey k = RegKey::Open(root, RunKeyPath(key), KEY_ALL_ACCESS)) {
    if (RegDeleteValueA(k.Get(), title.c_str()) == ERROR_SUCCESS) RegFlushKey(k.Get());
  }
}

}  // namespace

const char* RunKeyPath(TKeyReg key) {
  switch (key) {
    case TKeyReg::RUNSERVICES: return "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
    case TKeyReg::RUNONCE: return "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    case TKeyReg::RUN: break;
  }
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

void RemoveAutoRunValue(const std::string& title) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (TKeyReg key : kAllKeys) DeleteValue(root, key, title);
}

TAutoRun::TAutoRun(forms::TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

void TAutoRun::Write(TKeyReg key, const std::string& title) {
  const std::string data = QuotedProgramPath(ProgramPath());
  // The machine-wide key is opened, never created, as the system keeps it.
  if (RegKey machine = RegKey::Open(HKEY_LOCAL_MACHINE, RunKeyPath(key), KEY_ALL_ACCESS);
      machine && SetString(machine, title, data)) {
    // An entry left in the user's key by an earlier run without rights would start a second copy.
    DeleteValue(HKEY_CURRENT_USER, key, title);
    place_ = TAutoRunPlace::Machine;
    return;
  }
  if (RegKey user = RegKey::Create(HKEY_CURRENT_USER, RunKeyPath(key), KEY_ALL_ACCESS);
      user && SetString(user, title, data)) {
    place_ = TAutoRunPlace::User;
    return;
  }
  // Not even the user's own key takes it: the program still runs, only not at logon.
  place_ = TAutoRunPlace::None;
}

void TAutoRun::SetActive(bool value) {
  active_ = value;
  if (active_) {
    Write(key_, title_);
  } else {
    RemoveAutoRunValue(title_);
    place_ = TAutoRunPlace::None;
  }
}

void TAutoRun::SetTitle(const std::string& title) {
  if (title == title_) return;
  if (active_) {
    RemoveAutoRunValue(title_);
    Write(key_, title);
  }
  title_ = title;
}

void TAutoRun::SetKey(TKeyReg key) {
  if (key == key_) return;
  if (active_) {
    RemoveAutoRunValue(title_);
    Write(key, title_);
  }
  key_ = key;
}

}  // namespace murmella::startup
