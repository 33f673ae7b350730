#include "LocalPath.h"

#include "MarkupValues.h"

#include <windows.h>

#include <string>

namespace murmella::popup {

bool IsLocalDiskPath(std::string_view path) {
  if (!IsPlainLocalPath(path)) return false;
  const std::string p(path);
  char full[MAX_PATH + 1];
  const DWORD n = GetFullPathNameA(p.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  const std::string_view f(full, n);
  // A relative or rooted name takes the current directory's drive, which may be a share.
  if (!IsPlainLocalPath(f) || f.size() < 3 || f[1] != ':' || f[2] != '\\') return false;
  const std::string root(f.substr(0, 3));
  const UINT type = GetDriveTypeA(root.c_str());
  if (type == DRIVE_REMOTE || type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) return false;
  char target[1024];
  const std::string drive(f.substr(0, 2));
  if (QueryDosDeviceA(drive.c_str(), target, sizeof target)) {
    const std::string_view t(target);
    for (std::string_view remote : {"UNC\\", "\\Device\\Mup", "LanmanRedirector", "WebDav", "\\Device\\Redirector"})
      if (FindNoCase(t, remote) != std::string_view::npos) return false;
  }
  // A symbolic link on the way could lead to a share.
  for (std::size_t i = 3; i <= f.size(); ++i) {
    if (i < f.size() && f[i] != '\\') continue;
    const std::string prefix(f.substr(0, i));
    const DWORD attributes = GetFileAttributesA(prefix.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) break;  // the rest does not exist: nothing to follow
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  }
  return true;
}

}  // namespace murmella::popup
