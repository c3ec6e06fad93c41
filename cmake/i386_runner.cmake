# How the 32-bit Linux build's programs run on this machine: directly where the kernel runs
# 32-bit programs, else under qemu's i386 user emulation (Debian's qemu-user-static), which
# needs no binfmt registration. Sets CMAKE_CROSSCOMPILING_EMULATOR, which CTest puts before
# every test program, before any target is defined.
try_compile(qx80_i386_probe_built ${CMAKE_BINARY_DIR}/i386-probe ${CMAKE_CURRENT_LIST_DIR}/probe/main.c
            COPY_FILE ${CMAKE_BINARY_DIR}/i386-probe/probe)
if(NOT qx80_i386_probe_built)
  message(FATAL_ERROR "cannot build a 32-bit program: install g++-multilib (scripts/setup.sh)")
endif()
execute_process(COMMAND ${CMAKE_BINARY_DIR}/i386-probe/probe RESULT_VARIABLE qx80_i386_probe_ran
                OUTPUT_QUIET ERROR_QUIET)
if(qx80_i386_probe_ran EQUAL 0)
  message(STATUS "32-bit programs run directly on this machine")
else()
  find_program(QX80_QEMU_I386 NAMES qemu-i386-static qemu-i386)
  if(NOT QX80_QEMU_I386)
    message(FATAL_ERROR "this kernel runs no 32-bit programs and qemu-i386-static is missing "
                        "(scripts/setup.sh installs qemu-user-static)")
  endif()
  message(STATUS "32-bit programs run under ${QX80_QEMU_I386}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QX80_QEMU_I386})
endif()
