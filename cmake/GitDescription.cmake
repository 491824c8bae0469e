# Writes OUTPUT, a header with the build's git description (TAVRIN_GIT_DESCRIPTION), run at every
# build; the file is rewritten only when the description changed, so nothing rebuilds otherwise.
# Outside a git checkout (a source tarball) the description is "unknown".
find_package(Git QUIET)
set(description "unknown")
if(GIT_FOUND)
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --dirty --tags
                  WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE out RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0 AND out)
    set(description "${out}")
  endif()
endif()
set(text "#pragma once\n// Generated at build time; do not edit.\n#define TAVRIN_GIT_DESCRIPTION \"${description}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
