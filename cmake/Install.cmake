# Install rules, FHS layout under CMAKE_INSTALL_PREFIX; the Debian package is made from them.
#   bin/                        tavrin, tavrin-sim (and further tools with their own lines)
#   share/applications/        tavrin.desktop
#   share/icons/hicolor/        the program icon in the theme's sizes
#   share/man/man1/             tavrin.1.gz, tavrin-sim.1.gz
#   share/doc/tavrin/           README, docs, screenshots, the HTML guide, copyright, changelog
if(TARGET tavrin)
  install(TARGETS tavrin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/tavrin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  file(GLOB icon_sizes LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
       ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/*)
  foreach(size ${icon_sizes})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}/apps/tavrin.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
  endforeach()
endif()
if(TARGET tavrin-sim)
  install(TARGETS tavrin-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Manual pages and the changelog are installed compressed (gzip -n: no name or time stamp, so
# the package is reproducible).
find_program(TAVRIN_GZIP gzip REQUIRED)
set(compressed "")
foreach(source docs/man/tavrin.1 docs/man/tavrin-sim.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
    COMMAND ${TAVRIN_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${source} > ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source})
  list(APPEND compressed ${output})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/compressed/tavrin.1.gz ${PROJECT_BINARY_DIR}/compressed/tavrin-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/compressed/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

file(GLOB doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.png")
if(TAVRIN_GUIDE_BUILT)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/guide DESTINATION ${CMAKE_INSTALL_DOCDIR}
          FILES_MATCHING PATTERN "*.html")
endif()
