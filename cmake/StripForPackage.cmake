# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staging folder before the package is made: the
# ELF programs lose their symbols and the .comment and .note sections, as dh_strip leaves them.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program ${programs})
  file(READ ${program} magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND ${CPACK_TAVRIN_STRIP} --remove-section=.comment --remove-section=.note ${program}
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "strip failed on ${program}")
    endif()
  endif()
endforeach()
