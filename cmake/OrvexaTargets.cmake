# Warnings on our own code only; generated data and third-party code are left alone. They are errors
# where ORVEXA_WERROR asks (scripts/test and CI), not in a user's or a packager's build, which must not
# break the day a newer compiler warns of something new.
function(orvexa_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(ORVEXA_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

# orvexa_version_resource(TARGET DESCRIPTION): the Windows version record of TARGET's executable (what
# Explorer's Properties and installers read), carrying the project's version.
function(orvexa_version_resource target description)
    set(ORVEXA_RC_NAME ${target})
    set(ORVEXA_RC_DESCRIPTION "${description}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()
