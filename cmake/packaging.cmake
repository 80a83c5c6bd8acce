# Installing the programs, and the Debian package of the same layout.

set_target_properties(trovelane trovelane-cli PROPERTIES
  INSTALL_RPATH "$ORIGIN/${TROVELANE_LIBDIR_FROM_BIN}")
install(TARGETS trovelane trovelane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS QMIMGLib LIBRARY DESTINATION ${TROVELANE_INSTALL_LIBDIR} NAMELINK_SKIP)
# The plug-ins install themselves into ${TROVELANE_PLUGIN_INSTALL_DIR} (plugins/).

set(CPACK_PACKAGE_NAME trovelane)
set(CPACK_PACKAGE_VENDOR "trovelane")
set(CPACK_PACKAGE_CONTACT "trovelane maintainers <maintainers@trovelane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "meta-search client: many web search engines at once")
set(CPACK_PACKAGE_DESCRIPTION "trovelane sends one search expression to every engine of a search
profile at once, follows each engine's paging, drops duplicates and shows
the merged results. It includes the desktop program trovelane and the
command-line program trovelane-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.trovelane.example")
# Library dependencies are read from the programs (dpkg-shlibdeps); the
# private libQMIMGLib.so is found in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/gif)
# The Qt platform plug-ins (X11, Wayland) are a package of their own.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils, ca-certificates")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_GENERATOR DEB)
include(CPack)
