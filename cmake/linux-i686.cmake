# 32-bit x86 Linux build of the portable core with the host's multilib compiler (the m32
# preset): the same 32-bit layouts and arithmetic as the i686 Windows program, run natively.
# Its tests run directly where the kernel runs 32-bit programs and under qemu's user
# emulation where it does not (cmake/i386_runner.cmake decides).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
