# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
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
    # The pictures the metainfo shows, taken by scripts/take-screenshots.sh; installed so that
    # the published ones can be checked against the release that carries them.
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/screenshots/
        DESTINATION share/velmaro/screenshots FILES_MATCHING PATTERN "*.png")
endif()

# What Debian asks of every package's documentation folder: the machine-readable copyright file
# and, for a native package, the changelog as changelog.gz, compressed reproducibly (-n leaves
# out the name and time stamp).
install(FILES ${CMAKE_SOURCE_DIR}/resources/package/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/package/changelog VELMARO_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VELMARO_CHANGELOG_TOP MATCHES "^velmaro \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "resources/package/changelog does not start with version "
                        "${PROJECT_VERSION}: '${VELMARO_CHANGELOG_TOP}'")
endif()
set(VELMARO_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/package-doc/changelog.gz)
add_custom_command(OUTPUT ${VELMARO_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package-doc
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/resources/package/changelog
            ${CMAKE_BINARY_DIR}/package-doc/changelog
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/package-doc/changelog
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/package/changelog
    COMMENT "Compressing the changelog")
add_custom_target(velmaro_package_doc ALL DEPENDS ${VELMARO_CHANGELOG_GZ})
install(FILES ${VELMARO_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What lintian reports that is as intended, each with the reason beside it.
install(FILES ${CMAKE_SOURCE_DIR}/resources/package/lintian-overrides
    DESTINATION share/lintian/overrides RENAME velmaro)

set(VELMARO_MAINTAINER "Velmaro developers <velmaro-devel@lists.velmaro.org>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmaro)
set(CPACK_PACKAGE_VENDOR "Velmaro developers")
set(CPACK_PACKAGE_CONTACT ${VELMARO_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for car dash-camera recordings")
# Debian shows the long description as is: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Finds a dash camera's SD card, shows a calendar and a timeline of what was\n\
recorded and plays it in every direction and speed, with sound, heading, speed,\n\
position, a G-sensor graph and the route on a map; saves snapshots, cuts clips\n\
and writes the camera's settings file.")
# Installed into a staging folder through DESTDIR, so that the prefix the install scripts see is
# /usr, not the staging folder, and links made at install time (Leaflet's) are relative to where
# the files end up.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMARO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmaro.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time rather than linked, so dpkg-shlibdeps cannot see them: Qt's X11 platform
# plugin, and Leaflet, which the map page loads from the system. Formatting a card goes
# through UDisks2 when it is there.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libjs-leaflet")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2")
include(CPack)
