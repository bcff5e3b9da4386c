# Runs cmake/check_layers.cmake over small trees of one file each and checks that it
# refuses every include against the layers and lets every allowed one through.
#
#   cmake -DCHECK=<check_layers.cmake> -DSCRATCH=<empty folder> -P tests/layer_check_test.cmake

cmake_minimum_required(VERSION 3.21)

# Each case: expected outcome | file in the tree | its include line.
set(cases
    "fail|probes/whois.cpp|#include \"engine/check_sequence.h\""
    "fail|platform/socket.h|#include \"engine/check_frontend.h\""
    "fail|platform/socket_posix.cpp|#include \"probes/endpoints.h\""
    "fail|platform/socket_win.cpp|#include <app/check_run.h>"
    "fail|platform/x.cpp|  #  include \"cli/main.h\""
    "fail|engine/run.cpp|#include \"app/dialog.h\""
    "fail|engine/run.h|#include \"cli/terminal.h\""
    "fail|probes/x.cpp|#include \"../engine/check_sequence.h\""
    "fail|app/dialog.cpp|#include \"cli/terminal.h\""
    "fail|cli/main.cpp|#include \"tests/test_support.h\""
    "pass|engine/run.cpp|#include \"probes/probe_context.h\""
    "fail|diagnosis/rules.cpp|#include \"platform/mb_string.h\""
    "fail|diagnosis/rules.cpp|#include \"engine/check_sequence.h\""
    "fail|probes/x.cpp|#include \"diagnosis/findings.h\""
    "pass|cli/main.cpp|#include \"diagnosis/findings.h\""
    "pass|engine/run.cpp|#include \"diagnosis/findings.h\""
    "pass|engine/run.cpp|#include \"platform/stop_signal.h\""
    "pass|app/dialog.cpp|#include \"engine/check_run.h\""
    "pass|app/dialog.cpp|#include \"res/resource.h\""
    "pass|cli/main.cpp|#include \"probes/endpoints.h\""
    "pass|platform/x.cpp|#include <windows.h>"
    "pass|platform/x.cpp|#include \"tollvane_version.h\""
    "fail|platform/http_transport_posix.cpp|#include \"net/http_rules.h\""
    "fail|net/http_client.cpp|#include \"probes/endpoints.h\""
    "fail|net/x.cpp|#include \"../engine/check_sequence.h\""
    "fail|diagnosis/rules.cpp|#include \"net/http_client.h\""
    "pass|platform/net_adapters_posix.cpp|#include <net/if.h>"
    "pass|net/http_client.cpp|#include \"platform/http_transport.h\""
    "pass|probes/x.cpp|#include \"net/http_client.h\""
    "pass|engine/run.cpp|#include \"net/http_client.h\""
    "pass|app/main.cpp|#include \"net/http_exchange_process.h\""
    "pass|probes/x.cpp|// #include \"engine/check_sequence.h\" is not an include"
    "fail|standins/ping_main.cpp|#include \"probes/platform_error_text.h\""
    "fail|standins/tests/x.cpp|#include \"engine/check_run.h\""
    "fail|standins/net.cpp|#include \"../net/http_client.h\""
    "fail|platform/x.cpp|#include \"standins/net.hpp\""
    "pass|standins/tracert_main.cpp|#include \"platform/icmp_echo.h\""
    "pass|standins/net.cpp|#include \"model/address_kind.h\""
)

set(failures "")
set(index 0)
foreach(entry IN LISTS cases)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 expected)
    list(GET fields 1 file)
    list(GET fields 2 line)
    math(EXPR index "${index} + 1")
    set(tree "${SCRATCH}/case${index}")
    file(REMOVE_RECURSE "${tree}")
    file(WRITE "${tree}/${file}" "${line}\n")
    execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${tree} -P "${CHECK}"
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
        set(outcome pass)
    else()
        set(outcome fail)
    endif()
    if(NOT outcome STREQUAL expected)
        string(APPEND failures "  ${file}: ${line}: expected ${expected}, got ${outcome}\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "The layer check judged these wrongly:\n${failures}")
endif()
