# Cross-building for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
#
# The posix thread model, because the default win32 one has no std::mutex or std::thread. The
# C and C++ runtimes are linked into each program (-static), so that nothing from the compiler
# has to be shipped beside it. Programs built here run under Wine when it is installed: CMake
# then uses it for try_run, for build-time helpers and for CTest.
#
# The whole product also needs a Qt 6 built for this target with the same compiler, and a Qt
# of the same version for the build machine (for moc and lrelease):
#   -DCMAKE_PREFIX_PATH=<Qt for Windows> -DQT_HOST_PATH=<Qt for the build machine>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORNIK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORNIK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNIK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORNIK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORNIK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(VORNIK_WINE wine)
if(VORNIK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORNIK_WINE})
endif()
