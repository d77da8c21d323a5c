# Cross-builds for 64-bit Windows with Debian's mingw-w64 compilers
# (g++-mingw-w64-x86-64-posix, mingw-w64-tools):
#   cmake -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# The -posix compilers are the ones with std::mutex and std::thread.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIVOPARSE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
