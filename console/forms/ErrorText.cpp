#include "ErrorText.h"

namespace murmella::forms {

namespace {

std::string FullStop(const std::string& text) {
  return !text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.') ? "." : "";
}

}  // namespace

std::string ErrorBoxText(const std::string& text) { return text + FullStop(text); }

std::string FatalErrorText(const std::string& className, const std::string& moduleName, std::uintptr_t address,
                           const std::string& message) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex(sizeof(std::uintptr_t) * 2, '0');
  for (std::size_t i = hex.size(); i-- > 0; address >>= 4) hex[i] = kHex[address & 0xF];
  return "Exception " + className + " dans le module " + moduleName + " \xE0 " + hex + ".\r\n" + message +
         FullStop(message) + "\r\n";
}

}  // namespace murmella::forms
