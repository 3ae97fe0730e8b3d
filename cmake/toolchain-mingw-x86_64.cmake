# Windows x64 DLL with Debian's MinGW-w64 cross compiler (g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(MORVEX_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
