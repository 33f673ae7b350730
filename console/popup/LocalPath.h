// Markup comes from a web page, so a file or icon name in it must never make the console
// open a remote share: Windows would hand the user's credentials to that server.
#pragma once

#include <string_view>

namespace murmella::popup {

// True only for a plain local file name: a drive path, a rooted or a relative name, with
// no UNC or device prefix in any spelling (\\server, //server, \/server, \\?\, \\.\, \??\),
// no URL ("file:", "://"), no colon except after a drive letter (no streams or device
// names such as "COM1:"), no reserved device name as a component and no control
// characters. The Windows layer also checks where the full path leads.
bool IsPlainLocalPath(std::string_view path);

// True for a name whose file may tell the shell where to take its icon from (a shortcut, an
// Internet shortcut, a PIF, an Explorer command, a library, a search connector, a folder's
// desktop.ini): that place may be a network share, so only the type's own icon is asked for.
bool NamesShortcutLikeFile(std::string_view name);

}  // namespace murmella::popup

#ifdef _WIN32
namespace murmella::popup {
// IsPlainLocalPath, and the full path (after the current directory is applied) lies on a
// local drive: not a network drive, not a drive substituted onto a share, and no component
// is a reparse point that could lead elsewhere.
bool IsLocalDiskPath(std::string_view path);
}  // namespace murmella::popup
#endif
