// The running program file as the system reports it.
#pragma once

#include <string>

namespace murmella::startup {

// The full path of the running program file (GetModuleFileName of the process).
std::string ProgramPath();

}  // namespace murmella::startup
