# Cross build of the Windows programs as 64-bit MinGW-w64 with POSIX threads: the same
# sources as the 32-bit product build, for running the Windows tests under Wine's 64-bit
# loader where the kernel runs no 32-bit programs.
set(QX80_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
