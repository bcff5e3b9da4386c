# Delay-loaded imports of system DLLs that are not on Windows' list of known DLLs.
#
# The loader resolves an ordinary import before the program's first instruction and
# looks for the DLL in the program's own folder first, so a wininet.dll or comctl32.dll
# lying beside a downloaded Tollvane.exe would run inside it. A delay-loaded DLL is
# loaded at its first call instead, after the program has limited the search to the
# system folder (app/system_dlls.cpp). MinGW's linker has no /DELAYLOAD; dlltool makes
# a delay-import library from a list of the DLL's exports, taken here from the
# ordinary import library of the same name.

find_program(TOLLVANE_DLLTOOL ${TOLLVANE_MINGW_PREFIX}-dlltool REQUIRED)
find_program(TOLLVANE_NM ${TOLLVANE_MINGW_PREFIX}-nm REQUIRED)

# Defines the imported library tollvane::delay_NAME standing for NAME.dll.
function(tollvane_delay_import name)
    if(TARGET tollvane::delay_${name})
        return()
    endif()
    find_library(TOLLVANE_IMPORT_${name} NAMES lib${name}.a REQUIRED)
    execute_process(COMMAND ${TOLLVANE_NM} -g ${TOLLVANE_IMPORT_${name}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # 64-bit symbols are __imp_Name; 32-bit ones __imp__Name@bytes, whose names in
    # the DLL lose the decoration (--kill-at).
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(prefix "__imp__")
        set(kill_at --kill-at)
    else()
        set(prefix "__imp_")
        set(kill_at)
    endif()
    string(REGEX MATCHALL " I ${prefix}[^\n]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE " I ${prefix}" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n" exports)
    set(dir ${CMAKE_BINARY_DIR}/delay_imports)
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${TOLLVANE_DLLTOOL} --input-def ${dir}/${name}.def ${kill_at}
                            --dllname ${name}.dll --output-delaylib ${dir}/lib${name}_delay.a
                    WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
    add_library(tollvane::delay_${name} STATIC IMPORTED GLOBAL)
    set_target_properties(tollvane::delay_${name} PROPERTIES
        IMPORTED_LOCATION ${dir}/lib${name}_delay.a)
endfunction()
