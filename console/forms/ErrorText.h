// The texts of the application's error boxes. No platform state, so native tests reach them.
#pragma once

#include <cstdint>
#include <string>

namespace murmella::forms {

// The standard error box shows the message with a full stop appended when its last character
// sorts after the full stop (compared as an unsigned 8-bit character): "Failed" gains one,
// "Failed." and "Failed!" and "Failed " do not, and empty text stays empty.
std::string ErrorBoxText(const std::string& text);

// The box shown when the main window cannot be built: "Exception <class> dans le module
// <module> à <address>.\r\n<message><full stop by the rule above>\r\n", the address as eight
// (32-bit) or sixteen (64-bit) upper-case hex digits. 8-bit text in the Windows-1252 sense
// (the "à" is the single byte 0xE0).
std::string FatalErrorText(const std::string& className, const std::string& moduleName, std::uintptr_t address,
                           const std::string& message);

inline constexpr const char* kFatalErrorCaption = "Erreur d'application";

}  // namespace murmella::forms
