# What `cmake --install` lays out and what CPack puts in the .deb: the player and its
# command-line tools in bin/, read-only data in share/velmaro/ (found there by an installed
# executable), and the desktop integration (launcher, icons, AppStream metainfo).

include(GNUInstallDirs)

# Only what a driver or a script on the installed system uses; generators, galleries and
# benchmarks stay in the build tree.
set(VELMARO_INSTALLED_PROGRAMS velmaro velmaro-play velmaro-export velmaro-probe velmaro-usrset
    velmaro-track)
foreach(program IN LISTS VELMARO_INSTALLED_PROGRAMS)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# A grid built with make-offset-grid and dropped into resources/ ships with the player.
install(FILES ${CMAKE_SOURCE_DIR}/resources/offset_min.bin DESTINATION share/velmaro OPTIONAL)

if(TARGET velmaro)
    set(VELMARO_APP_ID org.velmaro.Velmaro)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/${VELMARO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/${VELMARO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons FILES_MATCHING PATTERN "*.png")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmaro)
set(CPACK_PACKAGE_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for car dash-camera recordings")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds a dash camera's SD card, shows a calendar and timeline of what was recorded and plays\nit in every direction and speed, with sound, heading, speed, position, a G-sensor graph and\nthe route on a map; saves snapshots, cuts clips and writes the camera's settings file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmaro developers <velmaro@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time rather than linked, so dpkg-shlibdeps cannot see them: Qt's X11 platform
# plugin, and Leaflet, which the map page loads from the system. Formatting a card goes
# through UDisks2 when it is there.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libjs-leaflet")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2")
include(CPack)
