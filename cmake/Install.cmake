# Install rules, FHS layout under CMAKE_INSTALL_PREFIX; the Debian package is made from them.
#   bin/                          tavrin, tavrin-sim, tavrin-host
#   share/applications/           tavrin.desktop (opens macro files)
#   share/metainfo/               the AppStream metadata
#   share/mime/packages/          the MIME type of macros (text/x-tavrin-macro)
#   share/icons/hicolor/          the program icon in the theme's sizes and as SVG
#   share/bash-completion/completions/   tavrin, tavrin-sim, tavrin-host
#   share/man/man1/               tavrin.1.gz, tavrin-sim.1.gz, tavrin-host.1.gz
#   share/doc/tavrin/             README, docs, screenshots, the HTML guide, copyright,
#                                 changelog, examples/
#   share/doc-base/               the guide's registration
if(TARGET tavrin)
  install(TARGETS tavrin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/tavrin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  file(GLOB icon_sizes LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/resources/icons/hicolor
       ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/*x*)
  foreach(size ${icon_sizes})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}/apps/tavrin.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/scalable/apps/tavrin.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tavrin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME tavrin.xml)
  # lintian's findings that are not faults, each with its reason in the file.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME tavrin)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/tavrin.metainfo.xml.in
                 ${PROJECT_BINARY_DIR}/${TAVRIN_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${TAVRIN_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
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

# The README of the installed folder: its links are rewritten to the installed files, and the
# part that is about working in the source tree is left out.
set(installed_readme ${PROJECT_BINARY_DIR}/installed/README.md)
add_custom_command(OUTPUT ${installed_readme}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${installed_readme}
          -P ${PROJECT_SOURCE_DIR}/cmake/InstalledReadme.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/InstalledReadme.cmake)
add_custom_target(installed_readme ALL DEPENDS ${installed_readme})
file(GLOB doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${installed_readme} ${doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/examples/MacroDlg.INI ${PROJECT_SOURCE_DIR}/examples/backup.uas
              ${PROJECT_SOURCE_DIR}/examples/tavrin-backup@.service ${PROJECT_SOURCE_DIR}/examples/tavrin-backup@.timer
              ${PROJECT_SOURCE_DIR}/examples/tavrin-backup.yml
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/tavrin-backup DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
foreach(program tavrin tavrin-sim tavrin-host)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion/${program}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.png")
if(TAVRIN_GUIDE_BUILT)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/guide DESTINATION ${CMAKE_INSTALL_DOCDIR}
          FILES_MATCHING PATTERN "*.html")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tavrin.doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base
          RENAME tavrin-guide)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tavrin-ja.doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base
          RENAME tavrin-guide-ja)
endif()
