// MurmellaChat.exe: the operator's tray console. It reads no command line.
#include "Unit1.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return murmella::console::RunMurmellaChat(); }
