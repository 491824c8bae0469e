# Fails when an option that PROGRAM --help lists is missing from its manual page MANPAGE.
#   cmake -DPROGRAM=<built program> -DMANPAGE=<docs/man/NAME.1> -P ManPageOptions.cmake
# An option is a word of the help text that starts with one or two dashes after a blank, a
# comma, a bracket, a parenthesis or a bar: --run, --noise-seed, -h, -N, -C= (from -C=CONNECTION), -F and -DF
# (from -FFILE, -DFFILE). In the page, "\-" is a dash and font escapes are dropped.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc}): ${err}")
endif()
file(READ ${MANPAGE} page)
string(REPLACE "\\-" "-" page "${page}")
string(REGEX REPLACE "\\\\f[BIRP]" "" page "${page}")
string(REGEX REPLACE "\\\\f\\([A-Z][A-Z]" "" page "${page}")

# Words in back quotes quote other programs' command lines (`tavrin -N`); brackets, bars,
# parentheses and commas only separate words.
string(REGEX REPLACE "`[^`]*`" " " help "${help}")
string(REGEX REPLACE "[][|(),\t\n]" " " help " ${help}")
string(REGEX MATCHALL " --?[A-Za-z][-A-Za-z]*=?" words "${help}")
set(options "")
foreach(word ${words})
  string(STRIP "${word}" word)
  # -FFILE, -DFFILE: the option and its value's name written together.
  if(word MATCHES "^-[A-Z]+FILE$")
    string(REGEX REPLACE "FILE$" "" word "${word}")
  endif()
  list(APPEND options "${word}")
endforeach()
list(REMOVE_DUPLICATES options)
if(NOT options)
  message(FATAL_ERROR "no options found in the help of ${PROGRAM}")
endif()

set(missing "")
foreach(option ${options})
  if(option MATCHES "=$")
    set(after "")
  else()
    set(after "([^-a-z]|$)")
  endif()
  if(NOT page MATCHES "(^|[^-A-Za-z0-9])${option}${after}")
    list(APPEND missing "${option}")
  endif()
endforeach()
if(missing)
  string(REPLACE ";" " " missing "${missing}")
  message(FATAL_ERROR "${MANPAGE} lacks options that ${PROGRAM} --help lists: ${missing}")
endif()
string(REPLACE ";" " " options "${options}")
message(STATUS "${MANPAGE}: all of ${options}")
