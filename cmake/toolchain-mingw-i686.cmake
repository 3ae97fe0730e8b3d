# Windows x86 DLL with Debian's MinGW-w64 cross compiler (g++-mingw-w64-i686-posix).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MORVEX_MINGW_TRIPLE i686-w64-mingw32)
set(MORVEX_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# SSE2 arithmetic keeps every float operation in single precision, as on x64 and Linux;
# the x87 default would carry excess precision from one operation into the next. Hosts
# call with a stack aligned to 4 bytes only, so functions that need more realign it.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
