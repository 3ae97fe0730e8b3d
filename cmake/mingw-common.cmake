# Shared part of the MinGW-w64 toolchain files; the including file sets MORVEX_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the -win32 variants have no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${MORVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVEX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything links the C++ runtime, libgcc and winpthreads in, so the DLL and the test
# programs need only system DLLs wherever they run.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Test programs run through Wine; the prefix lives in the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${MORVEX_WINE_BITS}
    ${CMAKE_BINARY_DIR}/wine-prefix)
