# Cross build for 64-bit ARM Linux (Jetson, Raspberry Pi 4/5, ...) with
# Debian's cross compiler (g++-aarch64-linux-gnu). The arm64 libraries come
# from Debian's multiarch packages (libx11-dev:arm64, ...) in
# /usr/lib/aarch64-linux-gnu; the headers in /usr/include serve both
# architectures, so no separate sysroot is set (one would hide them).
# pkg-config must look at the arm64 .pc files and the architecture-free ones
# (the X11 protocol files live in /usr/share/pkgconfig) and at no host ones;
# PKG_CONFIG_LIBDIR is set so unless the environment sets it.
#
#   cmake -S . -B build/aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
endif()
# On an x86-64 machine CTest runs the test programs through the user-mode
# emulator (qemu-user-static): the arm64 loader and libraries are found from /,
# the cross libstdc++ in Debian's cross folder.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /
    -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib:/usr/lib/aarch64-linux-gnu)
