# qx80_add_test(NAME SOURCES... LIBS ...): one test binary, one CTest entry.
# Natively GoogleTest's cases are discovered one by one; a cross-built binary runs
# as one CTest entry under the emulator (Wine), since each Wine start costs seconds.
function(qx80_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    # The Wine runs of one build tree share one prefix (one wineserver, one set of named
    # objects), so they never run at the same time.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_prefix)
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
