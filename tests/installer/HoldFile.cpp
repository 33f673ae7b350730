// holdfile FLAG FILE...: keeps each FILE open the way Windows holds a loaded library (read
// access, sharing read only), so that Wine, which otherwise lets a loaded library be replaced,
// refuses to overwrite, rename or delete it, while loading it still works. Prints "held" once
// every file is open and holds them while the file FLAG exists. Exit 1 when a file cannot be
// opened.
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: holdfile FLAG FILE...\n");
    return 2;
  }
  std::vector<HANDLE> held;
  for (int i = 2; i < argc; ++i) {
    HANDLE h = CreateFileW(argv[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "holdfile: cannot open %ls (error %lu)\n", argv[i], GetLastError());
      return 1;
    }
    held.push_back(h);
  }
  std::printf("held\n");
  std::fflush(stdout);
  while (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) Sleep(50);
  for (HANDLE h : held) CloseHandle(h);
  return 0;
}
