# Cross build for 64-bit ARM Linux (Jetson, Raspberry Pi 4/5, ...) with
# Debian's cross compiler (g++-aarch64-linux-gnu). The arm64 libraries come
# from Debian's multiarch packages (libx11-dev:arm64, ...) in
# /usr/lib/aarch64-linux-gnu; the headers in /usr/include serve both
# architectures, so no separate sysroot is set (one would hide them).
# pkg-config must look at the arm64 .pc files and the architecture-free ones:
#   PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
endif()
# Test programs run through the user-mode emulator (qemu-user-static).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
