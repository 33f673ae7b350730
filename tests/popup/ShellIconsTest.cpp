// SSYS:/LSYS: icons through the real shell. A shortcut-like file names the place of its own
// icon, which may be a share the shell would open with the operator's credentials; such names
// take their type's icon and the file's icon location is never followed. Here the location
// names a local icon of a colour no system icon has, so following it would show.
#include "ShellIconsWin.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace murmella::popup {
namespace {

const std::string kDir = "C:\\murmella-shell-icons";
const std::string kRedIcon = kDir + "\\red.ico";

// A 32x32 icon, all opaque pure red.
void WriteRedIcon(const std::string& path) {
  std::vector<unsigned char> b;
  auto u16 = [&](unsigned v) { b.insert(b.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)}); };
  auto u32 = [&](unsigned v) { u16(v & 0xFFFF); u16(v >> 16); };
  constexpr unsigned kSide = 32, kImage = 40 + kSide * kSide * 4 + kSide * 4;
  u16(0), u16(1), u16(1);                                  // icon file, one image
  b.insert(b.end(), {kSide, kSide, 0, 0}), u16(1), u16(32), u32(kImage), u32(22);
  u32(40), u32(kSide), u32(kSide * 2), u16(1), u16(32);   // its bitmap: colour rows, then the mask
  for (int i = 0; i < 6; ++i) u32(i == 1 ? kSide * kSide * 4 : 0);
  for (unsigned i = 0; i < kSide * kSide; ++i) b.insert(b.end(), {0, 0, 255, 255});
  b.insert(b.end(), kSide * 4, 0);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

void WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

void WriteShellLink(const std::string& path, const std::string& iconLocation) {
  IShellLinkA* link = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                             reinterpret_cast<void**>(&link)),
            S_OK);
  link->SetPath("C:\\windows\\notepad.exe");
  link->SetIconLocation(iconLocation.c_str(), 0);
  IPersistFile* file = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  const std::wstring wide(path.begin(), path.end());
  EXPECT_EQ(file->Save(wide.c_str(), TRUE), S_OK);
  file->Release();
  link->Release();
}

int ShellIndex(const std::string& path, bool typeOnly, bool small = true) {
  SHFILEINFOA info{};
  const DWORD_PTR ok = SHGetFileInfoA(path.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                      SHGFI_SYSICONINDEX | (small ? SHGFI_SMALLICON : 0) |
                                          (typeOnly ? SHGFI_USEFILEATTRIBUTES : 0));
  return ok ? info.iIcon : -1;
}

// Pure red pixels an entry of the small system list draws.
int RedPixels(int index) {
  SHFILEINFOA info{};
  auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      "x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 64;
  bi.bmiHeader.biHeight = -64;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC dc = CreateCompatibleDC(nullptr);
  std::uint32_t* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  for (int i = 0; i < 64 * 64; ++i) bits[i] = 0xFFFFFF;
  ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
  GdiFlush();
  int red = 0;
  for (int i = 0; i < 64 * 64; ++i) red += (bits[i] & 0xFFFFFF) == 0xFF0000;
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return red;
}

TEST(ShellIcons, ShortcutLikeNamesTakeTheirTypesIconOnly) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  CreateDirectoryA(kDir.c_str(), nullptr);
  CreateDirectoryA((kDir + "\\folder").c_str(), nullptr);
  WriteRedIcon(kRedIcon);
  const std::string iconEntries = "IconFile=" + kRedIcon + "\r\nIconIndex=0\r\n";
  struct TCase {
    std::string Name;
    std::function<void(const std::string&)> Make;
    bool ShortcutLike;
    bool Share = false;  // its icon location is a share: this test does not ask the shell to follow it either
  };
  const TCase cases[] = {
      {"local.lnk", [](const std::string& p) { WriteShellLink(p, kRedIcon); }, true},
      {"share.LNK", [](const std::string& p) { WriteShellLink(p, "\\\\192.0.2.1\\share\\x.ico"); }, true, true},
      {"site.url",
       [&](const std::string& p) { WriteText(p, "[InternetShortcut]\r\nURL=http://192.0.2.1/\r\n" + iconEntries); },
       true},
      {"folder\\desktop.ini",
       [&](const std::string& p) {
         WriteText(p, "[.ShellClassInfo]\r\nIconResource=" + kRedIcon + ",0\r\n" + iconEntries);
         SetFileAttributesA((kDir + "\\folder").c_str(), FILE_ATTRIBUTE_SYSTEM);
       },
       true},
      {"old.pif", [](const std::string& p) { WriteText(p, std::string(545, '\0')); }, true},
      {"show.scf", [&](const std::string& p) { WriteText(p, "[Shell]\r\nCommand=2\r\nIconFile=" + kRedIcon + "\r\n"); },
       true},
      {"music.library-ms",
       [&](const std::string& p) { WriteText(p, "<libraryDescription><iconReference>" + kRedIcon + ",0</iconReference></libraryDescription>"); },
       true},
      {"find.searchConnector-ms",
       [&](const std::string& p) { WriteText(p, "<searchConnectorDescription><iconReference>" + kRedIcon + ",0</iconReference></searchConnectorDescription>"); },
       true},
      // Other names are asked about as files, as before.
      {"notes.txt", [](const std::string& p) { WriteText(p, "notes"); }, false},
      {"red.ico", [](const std::string&) {}, false},
      {"folder", [](const std::string&) {}, false},
  };
  TSystemShellIcons shell;
  int followed = 0;
  for (const TCase& c : cases) {
    const std::string path = kDir + "\\" + c.Name;
    c.Make(path);
    SCOPED_TRACE(c.Name);
    const int typeIndex = ShellIndex(path, true), fileIndex = c.Share ? typeIndex : ShellIndex(path, false);
    const int got = shell.IconIndex(path, true);
    ASSERT_GE(typeIndex, 0);
    if (c.ShortcutLike) {
      EXPECT_EQ(got, typeIndex);
      EXPECT_EQ(RedPixels(got), 0) << "the icon its location names";
      EXPECT_EQ(shell.IconIndex(path, false), ShellIndex(path, true, false)) << "large";
      if (fileIndex != typeIndex) ++followed;
    } else {
      EXPECT_EQ(got, fileIndex);
      EXPECT_EQ(shell.IconIndex(path, false), ShellIndex(path, false, false)) << "large";
    }
  }
  // The shell does follow a shortcut's icon location when asked about the file itself, so the
  // rows above could tell the difference (Wine follows it for .lnk files; Windows for more).
  EXPECT_GT(followed, 0);
  EXPECT_GT(RedPixels(ShellIndex(kDir + "\\local.lnk", false)), 0);
  CoUninitialize();
}

}  // namespace
}  // namespace murmella::popup
