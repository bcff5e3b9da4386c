# nlohmann/json (header-only, Debian's nlohmann-json3-dev) as the target tollvane::json.
# Linux takes Debian's package config. The MinGW builds must not see the host's
# /usr/include, so the library's own folder is copied under the build folder and only
# that copy's parent is put on their include path.
add_library(tollvane_json INTERFACE)
add_library(tollvane::json ALIAS tollvane_json)
if(WIN32)
    find_path(TOLLVANE_JSON_HOST_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
        NO_CMAKE_FIND_ROOT_PATH)
    if(NOT TOLLVANE_JSON_HOST_DIR)
        message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
    endif()
    set(json_copy ${CMAKE_BINARY_DIR}/third_party/include)
    file(COPY ${TOLLVANE_JSON_HOST_DIR}/nlohmann DESTINATION ${json_copy})
    target_include_directories(tollvane_json SYSTEM INTERFACE ${json_copy})
else()
    find_package(nlohmann_json 3.2 REQUIRED)
    target_link_libraries(tollvane_json INTERFACE nlohmann_json::nlohmann_json)
endif()
