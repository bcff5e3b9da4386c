# Fails when a source file includes a header from a layer it must not depend on.
# The layers stack as app/ and cli/ (the front ends) on engine/, engine/ on probes/,
# probes/ on net/ (the HTTP layer), net/ on platform/; a layer may reach any layer below
# it, never one above or beside.
# model/ (the report model, its vocabulary and its text and JSON forms, and the one
# address classification) is plain C++ below everything: every layer may reach it, and it
# reaches nothing. diagnosis/ (the findings engine) reads report records alone: it reaches
# model/ only. privacy/ (redaction) and render/ (the path chart and the HTML report) sit
# on diagnosis/ and model/. collector/ is the support desk's server, a front end.
# standins/ (the stand-ins for the Windows commands) compile in a few plain parts of the
# platform layer and may reach platform/ and model/ only: the program starts them as
# separate commands and none of its other layers may reach them.
#
#   cmake -DROOT=<source folder> -P cmake/check_layers.cmake

cmake_minimum_required(VERSION 3.21)

if(NOT ROOT)
    message(FATAL_ERROR "check_layers: ROOT is not set")
endif()

# The folders a layer's files may include from, itself always included.
set(allowed_model model)
set(allowed_platform platform model)
set(allowed_net net platform model)
set(allowed_probes probes net platform model)
set(allowed_diagnosis diagnosis model)
set(allowed_privacy privacy diagnosis model)
set(allowed_render render diagnosis model)
set(allowed_engine engine probes net platform diagnosis privacy render model)
set(allowed_app app engine probes net platform res diagnosis privacy render model)
set(allowed_cli cli engine probes net platform diagnosis privacy render model)
set(allowed_collector collector engine probes net platform diagnosis privacy render model)
set(allowed_standins standins platform model)
set(layers model platform net probes diagnosis privacy render engine app cli collector standins)
# Folders of the project an include can name; anything else is a system header.
set(project_folders ${layers} res tests)
# Folders of the project that share their name with a folder of system headers
# (<net/if.h>): an include of one in angle brackets is the project's only when the
# project has that file.
set(system_named_folders net)

# The folder of the project an include names, or "" for a header from elsewhere. A
# name found beside the including file (or climbing out of its folder) is taken from
# there, as the compiler does.
function(included_folder file name angled out)
    get_filename_component(dir "${file}" DIRECTORY)
    set(path "${name}")
    if(EXISTS "${dir}/${name}" OR "${name}" MATCHES "^\\.\\./")
        get_filename_component(absolute "${dir}/${name}" ABSOLUTE)
        file(RELATIVE_PATH path "${ROOT}" "${absolute}")
    endif()
    string(REGEX MATCH "^[^/]+" first "${path}")
    if(NOT "${path}" MATCHES "/" OR NOT first IN_LIST project_folders)
        set(first "")
    elseif(angled AND first IN_LIST system_named_folders AND NOT EXISTS "${ROOT}/${path}")
        set(first "")
    endif()
    set(${out} "${first}" PARENT_SCOPE)
endfunction()

set(violations "")
foreach(layer IN LISTS layers)
    file(GLOB_RECURSE sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.hpp" "${ROOT}/${layer}/*.cpp"
         "${ROOT}/${layer}/*.c" "${ROOT}/${layer}/*.rc")
    foreach(file IN LISTS sources)
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" name "${line}")
            set(angled OFF)
            if("${line}" MATCHES "^[ \t]*#[ \t]*include[ \t]*<")
                set(angled ON)
            endif()
            included_folder("${file}" "${name}" ${angled} folder)
            if(folder AND NOT folder IN_LIST allowed_${layer})
                file(RELATIVE_PATH shown "${ROOT}" "${file}")
                string(APPEND violations "  ${shown} includes ${name} (${layer}/ may not depend on ${folder}/)\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    message(FATAL_ERROR "Includes against the direction of the layers:\n${violations}")
endif()
message(STATUS "Includes follow the layers: front ends -> engine -> probes -> net -> platform")
