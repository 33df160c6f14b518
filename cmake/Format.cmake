# The tree's layout as .clang-format says: format-check fails on any file that differs,
# format-fix rewrites them. The files are the ones git tracks (every file of the tree where
# there is no git).
find_program(QUIRLOMAT_CLANG_FORMAT clang-format)
if(NOT QUIRLOMAT_CLANG_FORMAT)
    return()
endif()
set(list_sources
    "if git rev-parse --git-dir >/dev/null 2>&1; then git ls-files -z '*.cpp' '*.h'; \
else find . -path ./build -prune -o \\( -name '*.cpp' -o -name '*.h' \\) -print0; fi")
add_custom_target(format-check
    COMMAND sh -c "${list_sources} | xargs -0 '${QUIRLOMAT_CLANG_FORMAT}' --dry-run --Werror"
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    COMMENT "Checking the layout of the sources"
    VERBATIM)
add_custom_target(format-fix
    COMMAND sh -c "${list_sources} | xargs -0 '${QUIRLOMAT_CLANG_FORMAT}' -i"
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    COMMENT "Laying the sources out"
    VERBATIM)
