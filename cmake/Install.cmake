# Installation layout and the Debian package, read after the rest of the top-level
# CMakeLists.txt; `make install` and `make package` drive it.
include(GNUInstallDirs)

set(ORVANE_VERSION 1.0.3)

install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES man/orvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT runtime
        FILES_MATCHING PATTERN "*.ov")
install(FILES docs/guide.md README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs/images/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/images COMPONENT runtime
        FILES_MATCHING PATTERN "*.png")
# Vim looks in share/vim/vimfiles for site-wide syntax and filetype files.
install(DIRECTORY editors/vim/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vim/vimfiles
        COMPONENT runtime FILES_MATCHING PATTERN "*.vim")
install(FILES editors/textmate/orvane.tmLanguage.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orvane/editors COMPONENT runtime)

if(TARGET orvane-lint)
  install(TARGETS orvane-lint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(FILES man/orvane-lint.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${ORVANE_VERSION})
set(CPACK_PACKAGE_VENDOR "orvane developers")
set(CPACK_PACKAGE_CONTACT "orvane developers <orvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "interpreter for Orvane, a small forgiving scripting language with 2-D drawing")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvane is a small, forgiving, dynamically typed language with built-in 2-D
drawing through SDL2. The package holds the interpreter with its interactive
loop, the manual pages, a guide to the language, example scripts and editor
support for Vim and TextMate.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION interpreters)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Linked libraries are found by dpkg-shlibdeps; SDL2, ICU and libedit are opened at run time,
# so no tool can see them and they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(REGEX MATCH "^[0-9]+" icu_major "${ICU_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libicu${icu_major}, libedit2")
set(CPACK_STRIP_FILES ON)
include(CPack)
