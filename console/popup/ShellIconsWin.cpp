#include "ShellIconsWin.h"

#include "ImageListWin.h"
#include "LocalPath.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace murmella::popup {

namespace {

// The system list's handle, asked for with a type only, so nothing on disk is touched.
HIMAGELIST SystemList(bool small) {
  SHFILEINFOA info{};
  return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      "x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
      SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : 0)));
}

}  // namespace

int TSystemShellIcons::IconIndex(std::string_view name, bool small) {
  // The shell would open a share named here with the user's credentials.
  if (!IsLocalDiskPath(name)) return -1;
  const std::string path(name);
  UINT flags = SHGFI_SYSICONINDEX | (small ? SHGFI_SMALLICON : 0);
  // A shortcut-like file names its icon's place itself, which may be a share: its type's icon
  // is taken instead, without the file being read.
  DWORD attributes = NamesShortcutLikeFile(name) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    flags |= SHGFI_USEFILEATTRIBUTES;
    attributes = FILE_ATTRIBUTE_NORMAL;
  }
  SHFILEINFOA info{};
  if (!SHGetFileInfoA(path.c_str(), attributes, &info, sizeof info, flags)) return -1;
  return info.iIcon;
}

TSize TSystemShellIcons::IconSize(bool small) {
  int w = 0, h = 0;
  if (HIMAGELIST list = SystemList(small)) ImageList_GetIconSize(list, &w, &h);
  return {w, h};
}

void TSystemShellIcons::Draw(TMarkupCanvas& canvas, int index, bool small, int x, int y) {
  DrawImageListEntry(SystemList(small), canvas, index, x, y);
}

}  // namespace murmella::popup
