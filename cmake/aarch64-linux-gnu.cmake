# Cross-compiling for the phone (arm64) with Debian's cross toolchain and multiarch arm64 packages
# (scripts/setup-arm64). Libraries come from /usr/lib/aarch64-linux-gnu; programs run under qemu-user
# with the host root as the library prefix (there is no binfmt here).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/)

# Build tools (cmake's own, the host's moc/rcc/uic) are host programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# moc, rcc and uic: Qt 5's arm64 CMake packages name them relative to their own prefix, as
# /usr/lib/qt5/bin/<tool>, which is where Debian's host build (qtbase5-dev-tools, Multi-Arch: foreign)
# puts them, so the host's tools are picked up without being named here.
