# Refuses, when the program is configured, a carried classic image that Step 3 could not number.
#
# A classic image goes to the scanner in 256-byte blocks whose numbers travel in 16 bits, and so does
# the closing frame's number (the block after the last) and the top of the progress range (the whole
# blocks plus one). All three fit only up to 65535 * 256 - 1 = 16,776,959 bytes, just under 16 MiB; a
# larger image would have later blocks written over earlier ones. A framed-family container ("UPDATE"
# at its start) goes in 512- or 1024-byte blocks whose size only Step 2 learns, so Step 3 checks it
# when it runs.
#
# orvexa_check_firmware_image(<file>) fails the configure with a message that says so. Run as a script
# (cmake -DIMAGE=<file> -P CheckFirmwareImage.cmake) it checks that one file.
set(ORVEXA_CLASSIC_BLOCK_SIZE 256)
set(ORVEXA_MAX_CLASSIC_IMAGE_SIZE 16776959)

function(orvexa_check_firmware_image image)
    file(SIZE "${image}" size)
    if(size LESS_EQUAL ORVEXA_MAX_CLASSIC_IMAGE_SIZE)
        return()
    endif()
    file(READ "${image}" mark LIMIT 6)
    if(mark STREQUAL "UPDATE")
        return()
    endif()
    message(FATAL_ERROR
        "ORVEXA_FIRMWARE_IMAGE is a classic image of ${size} bytes, but Step 3 counts its "
        "${ORVEXA_CLASSIC_BLOCK_SIZE}-byte blocks in 16 bits (the block numbers, the closing frame's "
        "number and the progress range), which holds at most ${ORVEXA_MAX_CLASSIC_IMAGE_SIZE} bytes: "
        "${image}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    orvexa_check_firmware_image("${IMAGE}")
endif()
