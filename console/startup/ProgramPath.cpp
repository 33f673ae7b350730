#include "ProgramPath.h"

#include "Classes.h"
#include "RegistryKey.h"

#include <windows.h>

#include <vector>

namespace murmella::startup {

std::string ProgramPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) throw forms::EMurmellaError(SystemErrorText(GetLastError()), "EOSError");
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);  // cut short: a long path
  }
}

}  // namespace murmella::startup
