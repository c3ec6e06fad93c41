# Cross build of the Windows application: 32-bit MinGW-w64 with POSIX threads (64-bit when
# mingw-x86_64.cmake sets the triplet first).
if(NOT QX80_MINGW_TRIPLET)
  set(QX80_MINGW_TRIPLET i686-w64-mingw32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${QX80_MINGW_TRIPLET})
set(CMAKE_C_COMPILER ${QX80_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX80_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QX80_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QX80_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests of this build run under Wine through our wrapper (prefix, display, quiet logs), in
# a prefix of this build tree's own: one prefix means one wineserver and shared named
# objects, which test runs of different build trees must not see.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --default-prefix
    ${CMAKE_BINARY_DIR}/wine-prefix)
