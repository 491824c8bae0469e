# Turns one Markdown file into a complete HTML page (UTF-8, the guide's style sheet inline).
# Arguments: CONVERTER, KIND (cmark-gfm or pandoc), INPUT, OUTPUT, LANG, STYLE.
if(KIND STREQUAL "cmark-gfm")
  set(command ${CONVERTER} --unsafe -e table -e autolink -e strikethrough ${INPUT})
else()
  set(command ${CONVERTER} -f gfm -t html ${INPUT})
endif()
execute_process(COMMAND ${command} OUTPUT_VARIABLE body RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${KIND} failed on ${INPUT}")
endif()
# The first level-one heading is the page's title.
file(STRINGS ${INPUT} first_heading REGEX "^# " LIMIT_COUNT 1)
string(REGEX REPLACE "^# " "" title "${first_heading}")
file(READ ${STYLE} style)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT} "<!DOCTYPE html>\n<html lang=\"${LANG}\">\n<head>\n<meta charset=\"utf-8\">\n"
  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
  "<title>${title}</title>\n<style>\n${style}</style>\n</head>\n<body>\n${body}</body>\n</html>\n")
