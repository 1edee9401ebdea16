# Cross build for 64-bit desktop Windows with Debian's mingw-w64 (x86_64-w64-mingw32, the
# "win32" thread model: no winpthread DLL to ship). The program compiles against mingw-w64's own
# <windows.h>; resources go through mingw's windres. The executable runs under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTROVA_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KESTROVA_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_TRIPLE}-windres)

# Headers and libraries of the target only; tools (llvm-rc, wine) from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
