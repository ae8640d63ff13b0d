# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread),
# linked statically so the programs need no DLL beside them. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(XFR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${XFR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${XFR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${XFR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${XFR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and CMake's own runs of the built programs go through Wine.
find_program(XFR_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(XFR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${XFR_WINE})
endif()
