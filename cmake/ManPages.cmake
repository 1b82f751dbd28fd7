# Manual pages, made at build time by help2man from each program's own --help and --version, with the
# sections no usage text holds (examples, exit status, environment, files) from docs/man/PROGRAM.h2m. So an
# option added to a program is in its page at the next build, and no page lists an option that is gone.
# Installed gzipped, as Debian keeps them. A cross build makes none: its programs do not run here.
include(GNUInstallDirs)
if(CMAKE_CROSSCOMPILING)
    return()
endif()
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(NOT HELP2MAN OR NOT GZIP)
    message(STATUS "help2man or gzip not found: no manual pages (Debian: apt install help2man)")
    return()
endif()

set(ORVEXA_MAN_DIR "${PROJECT_BINARY_DIR}/man")
set(manPages)
foreach(program orvexa-cli orvexa rdq-sim)
    if(NOT TARGET ${program})
        continue()
    endif()
    set(include "${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m")
    set(page "${ORVEXA_MAN_DIR}/${program}.1")
    # help2man runs the program through a wrapper named as the program, which keeps a long usage whole.
    set(wrapper "${ORVEXA_MAN_DIR}/help/${program}")
    file(GENERATE OUTPUT "${wrapper}"
        CONTENT "#!/bin/sh\nexec sh \"${PROJECT_SOURCE_DIR}/cmake/HelpForMan.sh\" \"$<TARGET_FILE:${program}>\" \"$@\"\n"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    # -n: no time stamp in the gzip header, so that the same page gives the same package.
    add_custom_command(OUTPUT "${page}" "${page}.gz"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${ORVEXA_MAN_DIR}"
        COMMAND "${HELP2MAN}" --no-info --section=1 "--source=Orvexa ${PROJECT_VERSION}"
                "--include=${include}" "--output=${page}" "${wrapper}"
        COMMAND "${GZIP}" -9 -n -f -k "${page}"
        DEPENDS ${program} "${include}" "${PROJECT_SOURCE_DIR}/cmake/HelpForMan.sh"
        COMMENT "Manual page ${program}(1)"
        VERBATIM)
    list(APPEND manPages "${page}.gz")
    set_property(GLOBAL APPEND PROPERTY ORVEXA_MAN_PROGRAMS ${program})
endforeach()
add_custom_target(manpages ALL DEPENDS ${manPages})
install(FILES ${manPages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
