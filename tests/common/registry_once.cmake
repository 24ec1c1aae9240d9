# Counts the copies of the status registry in the binaries one process of the tool loads.
#
#   cmake -D NM=<nm> -D "BINARIES=<tool>|<module>|<in-house libraries>" -P registry_once.cmake
#
# Every binary that carries the registry's code builds its own registry while it loads (205
# static initialisers, a map entry and a copied text each). The tool reads its texts from a table
# fixed at compile time, so exactly one binary of its process may carry the registry: the module,
# or, in a static build, the tool itself, which then holds the module.
cmake_minimum_required(VERSION 3.25)

foreach(var NM BINARIES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "registry_once: ${var} is not set")
    endif()
endforeach()
string(REPLACE "|" ";" BINARIES "${BINARIES}")

# RegisterErrorCode(int, int, char const*), mangled the same by GCC for ELF and for MinGW.
set(symbol "_Z17RegisterErrorCodeiiPKc")
set(holders "")
foreach(binary IN LISTS BINARIES)
    if(NOT EXISTS "${binary}")
        message(FATAL_ERROR "registry_once: ${binary} does not exist")
    endif()
    # Without -D: the full symbol table, where a hidden or static definition still shows.
    execute_process(COMMAND ${NM} --defined-only "${binary}"
        OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR listing STREQUAL "")
        message(FATAL_ERROR "registry_once: ${NM} found no symbols in ${binary} (stripped?): "
            "${errors}")
    endif()
    if(listing MATCHES "[ \t][Tt] ${symbol}\n")
        list(APPEND holders "${binary}")
    endif()
endforeach()

list(LENGTH holders copies)
if(NOT copies EQUAL 1)
    list(JOIN holders "\n  " named)
    message(FATAL_ERROR "registry_once: ${copies} copies of the status registry in one process "
        "of the tool, expected 1:\n  ${named}")
endif()
message(STATUS "registry_once: the registry is in ${holders} only")
