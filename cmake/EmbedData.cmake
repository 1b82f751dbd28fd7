# Embeds binary files into the program with CMake alone (no xxd or other host tool), so that the
# Windows cross-build embeds exactly the same bytes as the native one.
#
# orvexa_embed(<out-var> <symbol> <file>) generates <symbol>.cpp defining
#   const unsigned char orvexa::embedded::<symbol>[]  and  const std::size_t orvexa::embedded::<symbol>Size
# and appends its path to <out-var>.
function(orvexa_embed out_var symbol file)
    set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp")
    add_custom_command(
        OUTPUT "${out}"
        COMMAND "${CMAKE_COMMAND}" -DIN=${file} -DOUT=${out} -DSYMBOL=${symbol}
                -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
        DEPENDS "${file}" "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
        COMMENT "Embedding ${file}"
        VERBATIM)
    set(${out_var} ${${out_var}} "${out}" PARENT_SCOPE)
endfunction()
