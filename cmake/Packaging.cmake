# One Debian package with what a user runs: orvexa (when the Qt front end is built), orvexa-cli and
# rdq-sim, with the desktop entry and the icons. `cpack` in a build tree writes it.
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
include(CPack)
