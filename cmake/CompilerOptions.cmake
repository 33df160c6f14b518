# Warnings, sanitizers and hardening for every target of the project. Kept in one place so
# that the presets only switch options and never repeat flags.

include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# The only C in the tree is what wayland-scanner generates; the C++-only warnings stay C++'s.
add_compile_options(
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-align
    -Wnull-dereference -Wimplicit-fallthrough
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
    $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
if(QUIRLOMAT_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
endif()

# Hardening that costs nothing measurable: stack protector, fortified libc calls (they need
# optimisation, so not in Debug), control-flow protection where the compiler offers it, and
# read-only relocations bound at start.
include(CheckCXXCompilerFlag)
add_compile_options(-fstack-protector-strong)
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
check_cxx_compiler_flag(-fcf-protection=full QUIRLOMAT_HAVE_CF_PROTECTION)
if(QUIRLOMAT_HAVE_CF_PROTECTION)
    add_compile_options(-fcf-protection=full)
endif()
# Windows probes every large stack allocation anyway (___chkstk), and GCC 12 for mingw-w64
# fails on this flag with an internal error.
check_cxx_compiler_flag(-fstack-clash-protection QUIRLOMAT_HAVE_STACK_CLASH_PROTECTION)
if(QUIRLOMAT_HAVE_STACK_CLASH_PROTECTION AND NOT WIN32)
    add_compile_options(-fstack-clash-protection)
endif()
if(WIN32)
    # Windows: address-space layout randomisation (high entropy on 64 bits) and no execution
    # from data pages. One executable that needs no DLL of the compiler's: the C++ library,
    # libgcc and winpthreads are linked in.
    # mingw-w64 keeps the stack protector's and the fortified calls' runtime in libssp, which
    # the compiler links only when asked at link time too.
    # No link time in the PE header either (some binutils put one there by default): two
    # links of the same objects must give the same file.
    add_link_options(-Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp -static
                     -fstack-protector-strong)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        add_link_options(-Wl,--high-entropy-va)
    endif()
    # The static toolkit brings its symbols along, tens of megabytes that no one debugs.
    add_link_options($<$<NOT:$<CONFIG:Debug>>:-s>)
else()
    add_link_options(-Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
endif()

# All our code is compiled with -fcf-protection, but the linker marks a program as protected
# (IBT and SHSTK in its GNU property note) only when every input object carries the mark, and
# Debian 12's C start files (Scrt1.o, crti.o, crtn.o) do not. They contain no indirect branch
# targets of ours, so the mark is asked for explicitly.
include(CheckLinkerFlag)
check_linker_flag(CXX "LINKER:-z,ibt,-z,shstk" QUIRLOMAT_HAVE_CET_MARK)
if(QUIRLOMAT_HAVE_CF_PROTECTION AND QUIRLOMAT_HAVE_CET_MARK)
    add_link_options(LINKER:-z,ibt,-z,shstk)
endif()

# What is built for others carries no trace of the folder it was built in (file names for
# assertions and debug information become relative to the source or build tree), so that
# the same commit builds to the same bytes anywhere. The debug build keeps absolute paths,
# which the debugger needs to find the sources.
add_compile_options(
    $<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>
    $<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>)

if(QUIRLOMAT_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    add_compile_definitions(QUIRLOMAT_SANITIZED)
endif()
if(QUIRLOMAT_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
