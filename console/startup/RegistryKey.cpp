#include "RegistryKey.h"

namespace murmella::startup {

std::string RegSetDataFailedText(const std::string& valueName) {
  // Split after each escape so that a following letter is not read as another hex digit.
  return "Echec \xE0 la d\xE9" "finition des donn\xE9" "es pour '" + valueName + "'";
}

std::string RegCreateFailedText(const std::string& keyName) {
  return "Echec \xE0 la cr\xE9" "ation de la cl\xE9 " + keyName;
}

std::string RegInvalidTypeText(const std::string& valueName) {
  return "Type de donn\xE9" "es incorrect pour '" + valueName + "'";
}

std::string SystemErrorText(DWORD code) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  if (n == 0) return "System error " + std::to_string(code);
  return std::string(buffer, n);
}

RegKey RegKey::Open(HKEY root, const std::string& path, REGSAM access, LONG* status) {
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(root, path.c_str(), 0, access, &key);
  if (status) *status = result;
  return RegKey(result == ERROR_SUCCESS ? key : nullptr);
}

RegKey RegKey::Create(HKEY root, const std::string& path, REGSAM access, LONG* status) {
  HKEY key = nullptr;
  const LONG result =
      RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status) *status = result;
  return RegKey(result == ERROR_SUCCESS ? key : nullptr);
}

}  // namespace murmella::startup
