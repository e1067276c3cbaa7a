# Cross build for 32-bit ARM (armhf) with Debian's cross toolchain and its
# multiarch libraries (libjsoncpp-dev:armhf, libinih-dev:armhf,
# libgtest-dev:armhf). Test programs run under qemu-arm, also for gtest's
# test discovery at build time.
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(TARNEL_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${TARNEL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TARNEL_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TARNEL_TRIPLE})

# Target libraries and packages only from the armhf multiarch folders;
# programs (pkg-config, qemu) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TARNEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TARNEL_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The armhf -dev packages bring libc6:armhf, so the host's multiarch folders
# hold a complete armhf runtime; "-L /" runs the programs against it. The
# cross toolchain's own sysroot (/usr/arm-linux-gnueabihf) would pair its
# ld.so with the host's ld.so.cache and so with another glibc build, and
# programs crash as soon as they start a thread or fork.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /)
