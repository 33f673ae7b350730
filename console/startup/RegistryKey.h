// An owning registry key and the registry errors, with the framework's French texts. The
// console's text is 8-bit ANSI (code page 1252), so the accented letters are written as bytes.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace murmella::startup {

inline constexpr char kRegistryErrorClass[] = "ERegistryException";

// "Echec à la définition des données pour '<value>'": a value could not be written.
std::string RegSetDataFailedText(const std::string& valueName);
// "Echec à la création de la clé <key>": a key could not be opened or created for writing.
std::string RegCreateFailedText(const std::string& keyName);
// "Type de données incorrect pour '<value>'": a value that is not a string where one is read.
std::string RegInvalidTypeText(const std::string& valueName);

// The system's text for an error code, without the trailing line break.
std::string SystemErrorText(DWORD code);

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.key_, nullptr));
    return *this;
  }
  ~RegKey() { Reset(); }

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset(HKEY key = nullptr) {
    if (key_) RegCloseKey(key_);
    key_ = key;
  }

  // An existing key, or an empty RegKey with the error in `status`.
  static RegKey Open(HKEY root, const std::string& path, REGSAM access, LONG* status = nullptr);
  // The key, created when it does not exist.
  static RegKey Create(HKEY root, const std::string& path, REGSAM access, LONG* status = nullptr);

 private:
  HKEY key_ = nullptr;
};

}  // namespace murmella::startup
