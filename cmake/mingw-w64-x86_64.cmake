# Cross build for x86_64 Windows with MinGW-w64 (posix thread model); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MURMELLA_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${MURMELLA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MURMELLA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MURMELLA_TRIPLE}-windres)
set(CMAKE_OBJDUMP      ${MURMELLA_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${MURMELLA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every Windows program we build (tests included) runs through Wine; scripts/with-wine
# provides the display, the prefix and the wineserver around the run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
