# The keepers the build makes, recorded once, by the function that makes each of them
# (quirlomat_keeper_program, keeper/CMakeLists.txt): its target, which is also its program's
# name, and the hand-off way it serves, an enumerator of HandOff (clipboard/hand_off.h)
# without its "k". Everything else that names keepers follows the record: the program's table
# of ways, the program's build, the link-line tests and the package check.

function(quirlomat_record_keeper target way)
    set_property(GLOBAL APPEND PROPERTY QUIRLOMAT_KEEPERS ${target})
    set_property(TARGET ${target} PROPERTY QUIRLOMAT_HAND_OFF_WAY ${way})
endfunction()

# The recorded keepers' targets, into variable.
function(quirlomat_keepers variable)
    get_property(keepers GLOBAL PROPERTY QUIRLOMAT_KEEPERS)
    set(${variable} ${keepers} PARENT_SCOPE)
endfunction()

# Writes the keepers' entries of the program's table of ways to table, and their places in
# an installation, one a line, to the file "keepers" at the top of the build tree (the
# package check reads it).
function(quirlomat_write_keeper_record table)
    quirlomat_keepers(keepers)
    set(entries "")
    set(places "")
    foreach(keeper IN LISTS keepers)
        get_target_property(way ${keeper} QUIRLOMAT_HAND_OFF_WAY)
        string(APPEND entries "{HandOff::k${way}, \"${keeper}\"},\n")
        string(APPEND places "${QUIRLOMAT_KEEPER_INSTALL_DIR}/${keeper}\n")
    endforeach()
    file(CONFIGURE OUTPUT "${table}" CONTENT "${entries}")
    file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/keepers" CONTENT "${places}")
endfunction()
