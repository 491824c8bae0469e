# The Debian package, made by CPack from the install rules of an existing build tree:
#   cd build && cpack -G DEB        (or scripts/package)
# Runtime dependencies come from dpkg-shlibdeps; Qt's platform plugins and translations and a
# Japanese font are named because no library link shows them.
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavrin developers")
set(CPACK_PACKAGE_CONTACT "${TAVRIN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator's terminal for robot controllers")
# The extended description; CPack puts the summary above it as the synopsis line.
set(CPACK_PACKAGE_DESCRIPTION "Tavrin shows a robot controller's command console over a serial line or
telnet in an 80-column screen with scroll-back, and carries out the
controller's save and load commands against files on this computer (ENQ/ACK
records with LZSS compression). It has macros, logs and replay, a command
button panel, a host editor link and Japanese and English menus.

The package also holds tavrin-sim, a controller simulator for trying the
program (tavrin --demo) and for tests, tavrin-host, the host side of the
editor link, and examples for backing up controllers on a timer.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVRIN_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-vlgothic, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The programs are stripped as dh_strip does it (symbols, .comment and .note) by a script run
# on the staging folder before the package is made; CPack's own strip keeps those sections.
set(CPACK_STRIP_FILES OFF)
find_program(TAVRIN_STRIP NAMES strip REQUIRED)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/StripForPackage.cmake)
set(CPACK_TAVRIN_STRIP ${TAVRIN_STRIP})
set(CPACK_SET_DESTDIR OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
