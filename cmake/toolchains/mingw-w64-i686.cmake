# Cross-builds for 32-bit Windows with Debian's mingw-w64 compilers
# (g++-mingw-w64-i686-posix, mingw-w64-tools):
#   cmake -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
# The -posix compilers are the ones with std::mutex and std::thread.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KIVOPARSE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
