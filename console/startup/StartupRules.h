// Text rules of the start-up components that need no platform: how stored option text is
// trimmed and read back, how a "component.property" line splits, the mutex name of a program
// and the data of its autostart value. The Windows components build on these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace murmella::startup {

// Without leading and trailing spaces and control characters (everything up to ' ').
std::string_view TrimControl(std::string_view text);

// One stored-property line split at its first full stop, both parts trimmed.
struct StoredLine {
  std::string Component;
  std::string Property;
};
// No answer for a line without a full stop or with an empty part.
std::optional<StoredLine> SplitStoredLine(std::string_view line);

// The file name of a program path without its folder, extension kept, exactly as the file is
// named: copies of the program under other file names get other names.
std::string ProgramFileName(std::string_view path);
// The same without its extension (the last full stop of the file name onwards).
std::string ProgramBaseName(std::string_view path);

// The data of the autostart value: the program path in double quotes, so that a path with
// spaces cannot be taken as a shorter program followed by arguments.
std::string QuotedProgramPath(std::string_view path);

// A registry key name without leading and trailing backslashes.
std::string_view TrimBackslashes(std::string_view key);

}  // namespace murmella::startup
