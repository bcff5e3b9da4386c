# The project version is the one source of the version the programs report: it goes
# into a generated header (tollvane --version, the version resource) and the manifest.

set(TOLLVANE_VERSION ${PROJECT_VERSION})
set(_numbers)
foreach(_part MAJOR MINOR PATCH TWEAK)
    set(_value ${PROJECT_VERSION_${_part}})
    if(_value STREQUAL "")
        set(_value 0)
    endif()
    list(APPEND _numbers ${_value})
endforeach()
string(REPLACE ";" "," TOLLVANE_VERSION_NUMBERS "${_numbers}")
# Windows wants four numbers wherever a manifest names a version.
string(REPLACE ";" "." TOLLVANE_VERSION_DOTTED "${_numbers}")

set(TOLLVANE_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(TOLLVANE_MANIFEST_FILE ${TOLLVANE_GENERATED_DIR}/Tollvane.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/tollvane_version.h.in
               ${TOLLVANE_GENERATED_DIR}/tollvane_version.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/res/Tollvane.manifest ${TOLLVANE_MANIFEST_FILE} @ONLY)
