# The version as the program, its package and its manual page show it, in the form of the
# original program's version record: major, two-digit minor, four-digit patch (1.00.0004 for
# 1.0.4), and as the four numbers of the Windows version resource (1,0,0,4).
string(LENGTH "${PROJECT_VERSION_MINOR}" minor_digits)
string(LENGTH "${PROJECT_VERSION_PATCH}" patch_digits)
if(minor_digits GREATER 2 OR patch_digits GREATER 4)
    message(FATAL_ERROR "The version ${PROJECT_VERSION} has no four-part form")
endif()
math(EXPR minor_pad_length "2 - ${minor_digits}")
math(EXPR patch_pad_length "4 - ${patch_digits}")
string(REPEAT "0" ${minor_pad_length} minor_pad)
string(REPEAT "0" ${patch_pad_length} patch_pad)
set(QUIRLOMAT_VERSION_TEXT
    "${PROJECT_VERSION_MAJOR}.${minor_pad}${PROJECT_VERSION_MINOR}.${patch_pad}${PROJECT_VERSION_PATCH}")
set(QUIRLOMAT_VERSION_RC
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,${PROJECT_VERSION_PATCH}")
