# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Manual pages of the installed programs, made at build time from their own --help and
# --version with help2man, so a page never tells of options its program lacks. Compressed as
# Debian wants them (gzip -9n: no name or time stamp, so a rebuild gives the same bytes).

include(GNUInstallDirs)

option(VELMARO_MAN_PAGES "Make and install the manual pages (needs help2man)" ON)
if(NOT VELMARO_MAN_PAGES)
    return()
endif()

find_program(VELMARO_HELP2MAN help2man)
find_program(VELMARO_GZIP gzip)
if(NOT VELMARO_HELP2MAN OR NOT VELMARO_GZIP)
    message(FATAL_ERROR "help2man and gzip make the manual pages: run scripts/install-deps.sh, "
                        "or configure with -DVELMARO_MAN_PAGES=OFF")
endif()

# The NAME line of each page: what `man -k` and the package's whatis lists show.
set(VELMARO_MAN_NAME_velmaro "player for car dash-camera recordings")
set(VELMARO_MAN_NAME_velmaro-play "play a dash-camera recording with picture and sound")
set(VELMARO_MAN_NAME_velmaro-export "cut a clip between two marks of dash-camera recordings")
set(VELMARO_MAN_NAME_velmaro-probe "show what the player's demultiplexer makes of recording files")
set(VELMARO_MAN_NAME_velmaro-usrset "show or write a dash camera's settings file")
set(VELMARO_MAN_NAME_velmaro-track "save dash-camera telemetry as GPX, KML or CSV")

set(VELMARO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(VELMARO_MAN_PAGES_BUILT)
foreach(program IN LISTS VELMARO_INSTALLED_PROGRAMS)
    if(NOT TARGET ${program})
        continue()
    endif()
    if(NOT DEFINED VELMARO_MAN_NAME_${program})
        message(FATAL_ERROR
            "${program} is installed but has no manual page name in ${CMAKE_CURRENT_LIST_FILE}")
    endif()
    set(page ${VELMARO_MAN_DIR}/${program}.1)
    # The player answers --help before it starts Qt; the platform is set anyway, so a build
    # without a display never depends on that order.
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMARO_MAN_DIR}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${VELMARO_HELP2MAN} --no-info --section=1
                "--name=${VELMARO_MAN_NAME_${program}}" --output=${page} $<TARGET_FILE:${program}>
        COMMAND ${VELMARO_GZIP} -9nf ${page}
        DEPENDS ${program}
        COMMENT "Making the manual page of ${program}"
        VERBATIM)
    list(APPEND VELMARO_MAN_PAGES_BUILT ${page}.gz)
endforeach()

add_custom_target(velmaro_man_pages ALL DEPENDS ${VELMARO_MAN_PAGES_BUILT})
install(FILES ${VELMARO_MAN_PAGES_BUILT} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Checked as whatis, lintian and man read them (tests/tools/man_pages_test.sh).
if(TARGET velmaro_core_tests)
    set(VELMARO_MAN_PROGRAMS)
    foreach(page IN LISTS VELMARO_MAN_PAGES_BUILT)
        get_filename_component(program ${page} NAME_WE)
        list(APPEND VELMARO_MAN_PROGRAMS ${program})
    endforeach()
    add_test(NAME ManPages.EveryInstalledProgramHasAPageManAndWhatisAccept
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/man_pages_test.sh ${CMAKE_BINARY_DIR}
                ${VELMARO_MAN_PROGRAMS})
endif()
