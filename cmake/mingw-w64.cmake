# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads
# flavour, g++-mingw-w64-x86-64-posix, whose libstdc++ has std::thread).
#
# Executables are linked fully statically (libgcc, libstdc++, winpthread), so
# every .exe runs on its own: under Wine for the tests, or copied to a Windows
# machine, without any mingw DLL beside it.
#
# Tests run under Wine: set KESTROVA_WINE_RUNNER to a wrapper that runs its
# arguments under Wine (scripts/test-windows.sh passes its own); it becomes the
# cross-compiling emulator, which test discovery and ctest both use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTROVA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_TRIPLE}-windres)

# Look for libraries and packages in the mingw sysroot (and in whatever the
# caller adds to CMAKE_FIND_ROOT_PATH or CMAKE_PREFIX_PATH, such as the
# cross-built GoogleTest), for programs on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(KESTROVA_WINE_RUNNER "" CACHE FILEPATH "Wrapper that runs a Windows executable under Wine")
if(KESTROVA_WINE_RUNNER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE_RUNNER})
endif()
