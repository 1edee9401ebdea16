# Cross build for 32-bit ARM (the handheld's word size) with Debian's arm-linux-gnueabihf
# toolchain and the armhf -dev packages (dpkg --add-architecture armhf). Programs run under
# qemu-user: CTest and test discovery go through CMAKE_CROSSCOMPILING_EMULATOR.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KESTROVA_ARM_TRIPLE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER ${KESTROVA_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KESTROVA_ARM_TRIPLE}-g++)
set(CMAKE_ASM_COMPILER ${KESTROVA_ARM_TRIPLE}-gcc)

# Libraries and headers of the armhf packages; tools (llvm-rc, pkg-config) from the build host.
set(CMAKE_LIBRARY_ARCHITECTURE ${KESTROVA_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVA_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${KESTROVA_ARM_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The C library comes from the toolchain's own folder, matching the dynamic loader there: the
# armhf libc6 that the -dev packages bring along is a different build, and mixing the two
# crashes a forked child.
find_program(KESTROVA_QEMU_ARM qemu-arm)
if(KESTROVA_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_QEMU_ARM} -L /usr/${KESTROVA_ARM_TRIPLE}
      -E LD_LIBRARY_PATH=/usr/${KESTROVA_ARM_TRIPLE}/lib)
endif()
