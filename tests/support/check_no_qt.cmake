# Fails unless none of the programs in WITHOUT_QT loads a Qt library and every program in
# WITH_QT does, as the dynamic loader resolves them (ldd), so that the check cannot pass
# merely because it saw nothing.
function(loaded_libraries program out)
    execute_process(COMMAND ldd "${program}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
    if(failed OR NOT listing MATCHES "libc\\.so")
        message(FATAL_ERROR "ldd cannot list the libraries of ${program}")
    endif()
    set(${out} "${listing}" PARENT_SCOPE)
endfunction()

foreach(program IN LISTS WITHOUT_QT)
    loaded_libraries("${program}" listing)
    if(listing MATCHES "libQt[0-9A-Za-z]*\\.so")
        message(FATAL_ERROR "${program} links Qt:\n${listing}")
    endif()
endforeach()
foreach(program IN LISTS WITH_QT)
    loaded_libraries("${program}" listing)
    if(NOT listing MATCHES "libQt6Core\\.so")
        message(FATAL_ERROR "${program} should link Qt, but ldd shows none:\n${listing}")
    endif()
endforeach()
