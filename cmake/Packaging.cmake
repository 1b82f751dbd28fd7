# One Debian package with what a user runs: orvexa (when the Qt front end is built), orvexa-cli and
# rdq-sim, with their manual pages, the desktop entry, its AppStream entry and the icons, and orvexa-cli's
# bash completion. `cpack` in a build tree writes it; scripts/test has lintian check it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvexa)
set(CPACK_PACKAGE_VENDOR "Orvexa")
set(CPACK_PACKAGE_CONTACT "Orvexa maintainers <orvexa@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware upgrade tool for RDQ Bluetooth barcode scanners")
# One string with its own line breaks: separate quoted parts would become a list, joined by ";".
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Finds the serial port of an RDQ scanner, checks that the carried firmware\n"
    "fits it, and writes it, optionally with the scanner's language pages and\n"
    "fonts. Includes a command-line tool and a simulated scanner on a\n"
    "pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(ORVEXA_BUILD_QT)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4)")
endif()

# What Debian wants beside the programs in /usr/share/doc/orvexa: the changelog, gzipped (-n: no time
# stamp, so that the same changelog gives the same package), and the copyright file, which says that no
# license is granted yet.
if(NOT WIN32)
    include(GNUInstallDirs)
    set(changelogGz "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
    add_custom_command(OUTPUT "${changelogGz}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/packaging"
        COMMAND "${CMAKE_COMMAND}" -E copy "${ORVEXA_CHANGELOG}" "${PROJECT_BINARY_DIR}/packaging/changelog"
        COMMAND gzip -9 -n -f "${PROJECT_BINARY_DIR}/packaging/changelog"
        DEPENDS "${ORVEXA_CHANGELOG}"
        VERBATIM)
    add_custom_target(changelog ALL DEPENDS "${changelogGz}")
    install(FILES "${changelogGz}" "${PROJECT_SOURCE_DIR}/packaging/debian/copyright"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/orvexa")
endif()
include(CPack)
