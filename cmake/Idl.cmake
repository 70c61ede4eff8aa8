# Interface definitions compiled with widl.
find_program(WIDL_EXECUTABLE NAMES i686-w64-mingw32-widl widl REQUIRED)
set(WIDL_IMPORT_DIR /usr/include/wine/wine/windows)
set(WIDL_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# tandem_idl(<name> <idl> [PROXY] [TLB <file>] [DEPENDS ...])
# Writes <name>.h, <name>_i.c and the type library (<name>.tlb unless TLB
# names another file) into the current binary folder; with PROXY also
# <name>_p.c and <name>_dlldata.c. The proxy pass defines TANDEM_PROXY_PASS
# so that SAFEARRAY parameters can be declared as LPSAFEARRAY there: widl's
# proxy code for SAFEARRAY(T) is wrong, the wire format and the C signature
# are the same. DEPENDS lists files the definitions import (their folders are
# searched) or type libraries they importlib.
function(tandem_idl name idl)
    cmake_parse_arguments(I "PROXY" "TLB" "DEPENDS" ${ARGN})
    get_filename_component(idl ${idl} ABSOLUTE)
    get_filename_component(idl_dir ${idl} DIRECTORY)
    set(out ${CMAKE_CURRENT_BINARY_DIR})
    if(NOT I_TLB)
        set(I_TLB ${name}.tlb)
    endif()
    set(common --win64 -I${idl_dir} -I${out} -I${WIDL_IMPORT_DIR} -L${WIDL_TLB_DIR} -L${out})
    foreach(dep ${I_DEPENDS})
        get_filename_component(dep_dir ${dep} DIRECTORY)
        list(APPEND common -I${dep_dir} -L${dep_dir})
    endforeach()
    add_custom_command(
        OUTPUT ${out}/${name}.h ${out}/${name}_i.c ${out}/${I_TLB}
        COMMAND ${WIDL_EXECUTABLE} ${common} -h -H ${out}/${name}.h
                -u -o ${out}/${name}_i.c ${idl}
        COMMAND ${WIDL_EXECUTABLE} ${common} -t -o ${out}/${I_TLB} ${idl}
        DEPENDS ${idl} ${I_DEPENDS}
        COMMENT "widl ${name}"
        VERBATIM)
    set(${name}_IDL_OUTPUTS ${out}/${name}.h ${out}/${name}_i.c ${out}/${I_TLB} PARENT_SCOPE)
    if(I_PROXY)
        # The proxy file is named after <name>_p.c, which makes <name> the
        # token the proxy file list refers to.
        add_custom_command(
            OUTPUT ${out}/${name}_p.c ${out}/${name}_dlldata.c
            COMMAND ${WIDL_EXECUTABLE} ${common} -DTANDEM_PROXY_PASS -Oif -p -H ${name}.h
                    -o ${out}/${name}_p.c ${idl}
            COMMAND ${WIDL_EXECUTABLE} --win64 --dlldata-only -o ${out}/${name}_dlldata.c ${name}
            DEPENDS ${idl} ${I_DEPENDS} ${out}/${name}.h
            COMMENT "widl proxy ${name}"
            VERBATIM)
        set(${name}_PROXY_OUTPUTS ${out}/${name}_p.c ${out}/${name}_dlldata.c PARENT_SCOPE)
    endif()
endfunction()
