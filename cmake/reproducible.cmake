# Reproducible programs: the same commit gives the same bytes wherever it is built.
# ./kit exports SOURCE_DATE_EPOCH (the last commit's time) for the whole build: ld writes it as the PE
# time stamp, and objcopy and strip write it again when they rewrite the header.

# Neither the source nor the build folder reaches the binaries or their debug files.
add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=build -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)

# The shipped programs link again when the time stamp changes, so a build never keeps another commit's.
set(KIT_EPOCH_FILE ${CMAKE_BINARY_DIR}/source-date-epoch.txt)
file(CONFIGURE OUTPUT ${KIT_EPOCH_FILE} CONTENT "$ENV{SOURCE_DATE_EPOCH}\n")

# Moves a shipped program's debug information into NAME.exe.debug beside it and leaves the program
# stripped, with a link to that file; tests run the stripped program, which is the one shipped.
function(kit_split_debug target)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KIT_EPOCH_FILE})
    set(program $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${program} ${program}.debug
        COMMAND ${CMAKE_STRIP} --strip-all ${program}
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${program}.debug ${program}
        VERBATIM)
endfunction()
