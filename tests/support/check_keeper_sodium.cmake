# Fails unless each program in KEEPERS has libsodium's memory helpers linked into itself and
# nothing of the library's core with them (sodium_init stands for the core and all that it
# drags in), and loads no shared libsodium. Nothing but resident memory shows the difference,
# so it is checked here rather than left to the benchmark.
foreach(program IN LISTS KEEPERS)
    execute_process(COMMAND nm --defined-only "${program}" OUTPUT_VARIABLE symbols
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "nm cannot read the symbols of ${program}")
    endif()
    foreach(helper sodium_mlock sodium_munlock)
        if(NOT symbols MATCHES " T ${helper}\n")
            message(FATAL_ERROR "${program} does not have ${helper} linked in")
        endif()
    endforeach()
    if(symbols MATCHES " sodium_init\n")
        message(FATAL_ERROR "${program} has libsodium's core (sodium_init) linked in")
    endif()
    execute_process(COMMAND ldd "${program}" OUTPUT_VARIABLE listing)
    if(listing MATCHES "libsodium")
        message(FATAL_ERROR "${program} loads the shared libsodium:\n${listing}")
    endif()
endforeach()
