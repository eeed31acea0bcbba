# Installation and the Debian package (cpack -G DEB, see scripts/package.sh):
# the program, its desktop entry and its icon. The package depends on the
# Debian libraries the program links (found by dpkg-shlibdeps: Qt's widgets,
# gui, network and core, the C++ runtime) and on the Chinese font the window's
# texts need.
include(GNUInstallDirs)

install(TARGETS kestrova RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrova.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrova.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrova)
set(CPACK_PACKAGE_VENDOR Kestrova)
set(CPACK_PACKAGE_CONTACT "Kestrova developers <dev@kestrova.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop tool for watching and talking to devices over UDP")
set(CPACK_PACKAGE_DESCRIPTION
    "One window listens on up to four local UDP ports, logs every datagram received and sent, keeps a table of the devices heard from, and sends hex or decimal-list payloads to a device.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
include(CPack)
