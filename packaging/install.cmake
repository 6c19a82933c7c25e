# SPDX-License-Identifier: GPL-3.0-or-later
# Installation (`cmake --install`) and the Debian package (`cpack -G DEB`):
# the programs (the window, the replay and the annotation program), a menu
# entry that opens AVI videos, the icon, the AppStream metainfo and the man
# pages.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/defaults.cmake)

# The name by which desktops and software centres know the program.
set(TESSAVOLANT_APP_ID org.tessavolant.Tessavolant)
# The day of the release whose number project() sets.
set(TESSAVOLANT_RELEASE_DATE 2026-12-09)

set(packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(TESSAVOLANT_MAINTAINER "Tessavolant developers <tessavolant@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(programs tessavolant)
set(manPages tessavolant)
set(withReplay 0)
if(TARGET tessavolant-replay)
    list(APPEND programs tessavolant-replay)
    list(APPEND manPages tessavolant-replay)
    set(withReplay 1)
endif()
set(withAnnotate 0)
if(TARGET tessavolant-annotate)
    list(APPEND programs tessavolant-annotate)
    list(APPEND manPages tessavolant-annotate)
    set(withAnnotate 1)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (install/strip, and the package) also drops the compiler's
# version notes, as Debian's own packages do; strip alone keeps them.
foreach(program IN LISTS programs)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(
                COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()")
endforeach()

install(FILES ${packaging}/tessavolant.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${TESSAVOLANT_APP_ID}.desktop)
configure_file(${packaging}/tessavolant.metainfo.xml.in
               ${generated}/${TESSAVOLANT_APP_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${TESSAVOLANT_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon is drawn as SVG; the 256 px PNG is rendered from it, for desktops
# that want a bitmap.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
add_custom_command(
    OUTPUT ${generated}/tessavolant.png
    COMMAND ${RSVG_CONVERT} --width 256 --height 256 --output ${generated}/tessavolant.png
            ${packaging}/tessavolant.svg
    DEPENDS ${packaging}/tessavolant.svg
    VERBATIM)
install(FILES ${packaging}/tessavolant.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${generated}/tessavolant.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# Man pages carry the version and date, and are installed compressed.
set(compressedManPages)
foreach(page IN LISTS manPages)
    tessavolant_configure_file(${packaging}/${page}.1.in ${generated}/${page}.1)
    add_custom_command(
        OUTPUT ${generated}/${page}.1.gz
        COMMAND gzip --best --no-name --keep --force ${generated}/${page}.1
        DEPENDS ${generated}/${page}.1
        VERBATIM)
    list(APPEND compressedManPages ${generated}/${page}.1.gz)
    install(FILES ${generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# Debian's copyright file (machine-readable: the licence of every file) and the
# changelog of the releases, both where Debian keeps a package's documents.
set(docDir ${CMAKE_INSTALL_DATADIR}/doc/tessavolant)
install(FILES ${packaging}/copyright DESTINATION ${docDir})
execute_process(COMMAND date --utc --rfc-email --date ${TESSAVOLANT_RELEASE_DATE}
                OUTPUT_VARIABLE TESSAVOLANT_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
add_custom_command(
    OUTPUT ${generated}/changelog.gz
    COMMAND gzip -9 --no-name --keep --force ${generated}/changelog
    DEPENDS ${generated}/changelog
    VERBATIM)
install(FILES ${generated}/changelog.gz DESTINATION ${docDir})

add_custom_target(packaging_data ALL DEPENDS ${generated}/tessavolant.png ${compressedManPages}
                                               ${generated}/changelog.gz)

# The Debian package: tessavolant_<version>_<architecture>.deb. Its Depends
# come from the libraries that the programs load (dpkg-shlibdeps), GDCM's for
# DICOM among them; Qt's platform plugins are loaded at run time, which that
# cannot see.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessavolant)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "track a kidney stone in an imaging video and simulate a lithotripter")
# Lines of at most 79 characters: the control file indents each by one space,
# and Debian wants the description within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Tessavolant replays a recorded imaging video (an AVI or a DICOM cine loop),
follows the kidney stone that the user marks on it from frame to frame, and
simulates a lithotripter beside it: a focal area that the user places and
sizes, a shot rate of 40 to 160 shots per minute, and hits counted whenever
the tracked stone lies on the focal area. Every event goes with a time stamp
into an event log, which ends with a comparison of the shots fired with
tracking against those fired without it.")
set(CPACK_PACKAGE_CONTACT ${TESSAVOLANT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TESSAVOLANT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package, built from this tree and unpacked into a throwaway root. Not in
# the sanitizer build, whose programs need the sanitizer runtime.
if(NOT TESSAVOLANT_SANITIZE)
    add_test(NAME Package.DebianPackage
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/packaging/checkDebianPackage.sh
                     ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_VERSION} ${TESSAVOLANT_APP_ID} ${withReplay}
                     ${withAnnotate})
    set_tests_properties(Package.DebianPackage PROPERTIES LABELS package TIMEOUT 300)
endif()
