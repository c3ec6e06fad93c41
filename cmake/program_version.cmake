# The programs' version has one source: the application's version resource. The header that
# qx80 and qx80-sim print for --version is generated from it, and the configure step fails
# when the resource's numbers and texts disagree (the About box shows major.minor followed by
# the build number: 1, 0, 4 reads "1.04").
set(_rc "${PROJECT_SOURCE_DIR}/updater/resources/qx80-updater.rc")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_rc}")
file(READ "${_rc}" _rc_text)

foreach(_field FILEVERSION PRODUCTVERSION)
  if(NOT _rc_text MATCHES "\n[ \t]*${_field}[ \t]+([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+)")
    message(FATAL_ERROR "${_rc}: no ${_field} line")
  endif()
  set(_${_field} "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}${CMAKE_MATCH_3}")
endforeach()
foreach(_value FileVersion ProductVersion)
  if(NOT _rc_text MATCHES "VALUE \"${_value}\", \"([^\"]*)\"")
    message(FATAL_ERROR "${_rc}: no ${_value} text")
  endif()
  set(_${_value} "${CMAKE_MATCH_1}")
endforeach()
if(NOT _FILEVERSION STREQUAL _PRODUCTVERSION OR NOT _FileVersion STREQUAL _FILEVERSION OR
   NOT _ProductVersion STREQUAL _FILEVERSION)
  message(FATAL_ERROR "${_rc}: the version numbers and texts disagree (FILEVERSION ${_FILEVERSION}, "
                      "PRODUCTVERSION ${_PRODUCTVERSION}, FileVersion \"${_FileVersion}\", "
                      "ProductVersion \"${_ProductVersion}\")")
endif()

set(QX80_PROGRAM_VERSION "${_FILEVERSION}")
set(QX80_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${PROJECT_SOURCE_DIR}/platform/program_version.h.in" "${QX80_GENERATED_DIR}/platform/program_version.h" @ONLY)
