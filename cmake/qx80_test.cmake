# qx80_add_test(NAME SOURCES... LIBS ...): one test binary and its CTest entries.
# GoogleTest's cases are discovered one by one (through the emulator, if any); a Windows
# binary runs as one CTest entry under Wine, since each Wine start costs seconds.
function(qx80_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(QX80_WINDOWS)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    # The Wine runs of one build tree share one prefix (one wineserver, one set of named
    # objects), so they never run at the same time.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_prefix)
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# qx80_program(VAR TARGET): how a test script starts the program TARGET: its file, or, where
# this build's programs run under an emulator (qemu for the 32-bit Linux build), a launcher
# that starts it there.
function(qx80_program var target)
  if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT QX80_WINDOWS)
    set(launcher ${CMAKE_BINARY_DIR}/launchers/${target})
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    file(GENERATE OUTPUT ${launcher} CONTENT "#!/bin/sh\nexec ${emulator} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(${var} ${launcher} PARENT_SCOPE)
  else()
    set(${var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
