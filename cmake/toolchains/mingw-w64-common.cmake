# What both Windows toolchains share; each sets CMAKE_SYSTEM_PROCESSOR and
# KIVOPARSE_MINGW_TRIPLET, then includes this file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KIVOPARSE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVOPARSE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVOPARSE_MINGW_TRIPLET}-windres)
set(KIVOPARSE_WIDL ${KIVOPARSE_MINGW_TRIPLET}-widl)

# Programs and modules carry the C++ run time inside them: a Windows
# machine (or regsvr32) finds no mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Libraries and packages (GoogleTest built for Windows, say) come from the
# mingw sysroot and from the prefixes named on the command line, never
# from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KIVOPARSE_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, started by hand once; the build never runs them.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
