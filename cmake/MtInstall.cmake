# Installation laid out the way Linux desktops look for a program (GNUInstallDirs, so any prefix
# and DESTDIR work), and a Debian package made from the same rules by CPack. Only the program
# goes in: the reference server, tests and benchmarks are never installed.
include(GNUInstallDirs)

set(MT_APP_ID com.plovex.veltritalk)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

# The translations are compiled into the program (resources/), so the program finds them wherever
# it is installed and they cannot drift from the binary they belong to.
install(TARGETS veltritalk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_pkg}/${MT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/${MT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(MT_ICON_SIZES 16 22 24 32 48 64 128 256 512)
foreach(size IN LISTS MT_ICON_SIZES)
    install(FILES ${_pkg}/icons/${size}x${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${MT_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/artwork/veltritalk.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${MT_APP_ID}.svg)

# Installing (and so packaging) takes the program as built and does not first build everything
# else in the tree: the tests and benchmarks are not part of what is installed.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltritalk)
set(CPACK_PACKAGE_VENDOR PLOVEX)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop messenger for the members of one organisation")
set(CPACK_PACKAGE_CONTACT "PLOVEX <support@plovex.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What is loaded at run time is not seen by dpkg-shlibdeps: the sound output's plug-ins, a font
# with Korean letters.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt5multimedia5-plugins, fonts-nanum | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Desktop messenger for the members of one organisation\n\
Keeps an encrypted copy of the directory, the rooms and every message, exchanges messages in\n\
real time, lives in the system tray and opens one window per room.")
include(CPack)
