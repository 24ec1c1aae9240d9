# Runs quendal-sysinfo as a user would and checks what it did.
#
#   cmake -D PROGRAM=<quendal-sysinfo> -D NAME=<test> [-D EMULATOR=<runner>] -D ARGS=<arg|...>
#         [-D SET_ENV=<NAME=VALUE|...>] [-D UNSET_ENV=<NAME|...>] [-D WORKDIR=<dir>]
#         [-D EXPECT_EXIT=<n>] [-D EXPECT_STDOUT=<file>] [-D EXPECT_STDOUT_REGEX=<regex>]
#         [-D EXPECT_STDERR_REGEX=<regex>] [-D OUTPUT_FILE=<file written by --output>]
#         [-D EXPECT_OUTPUT=<file>] [-D FORBID=<text>] [-D VALIDATE=xml|json] [-D PLAIN=ON]
#         -P run_tool.cmake
#
# Line ends are compared without carriage returns: a Windows program writes CRLF to a console
# stream. FORBID must appear nowhere in what the program printed or wrote. PLAIN: neither stream
# holds a control byte other than TAB and LF (CR only as part of a line end), which could
# rewrite a terminal that shows it. VALIDATE json (implied by a successful --format json run)
# has jq and validate_document.py check the document. Scratch files are named after the test:
# tests run in parallel.
cmake_minimum_required(VERSION 3.25)

# Lists come separated by "|", which survives being passed through a test's command line.
foreach(list ARGS SET_ENV UNSET_ENV)
    string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()

foreach(entry IN LISTS SET_ENV)
    string(FIND "${entry}" "=" at)
    string(SUBSTRING "${entry}" 0 ${at} name)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${entry}" ${at} -1 value)
    set(ENV{${name}} "${value}")
endforeach()
foreach(name IN LISTS UNSET_ENV)
    unset(ENV{${name}})
endforeach()
if(NOT WORKDIR)
    set(WORKDIR "${CMAKE_CURRENT_BINARY_DIR}")
endif()
if(OUTPUT_FILE)
    file(REMOVE "${OUTPUT_FILE}")
endif()

execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
    WORKING_DIRECTORY "${WORKDIR}"
    INPUT_FILE /dev/null
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
# Now and then Wine ends a program at start with status 1 and not a word (seen once in a few
# hundred runs, never reproduced alone); the tool itself never fails without saying why. Such a
# run is not the tool's: it is run once more, and the log says so.
if(EMULATOR AND NOT "${status}" STREQUAL "0" AND out STREQUAL "" AND err STREQUAL "")
    message(STATUS "run_tool: the emulator ended with ${status} and no output; running again")
    execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
        WORKING_DIRECTORY "${WORKDIR}"
        INPUT_FILE /dev/null
        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
endif()
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")
set(failures "")

if(NOT DEFINED EXPECT_EXIT)
    set(EXPECT_EXIT 0)
endif()
if(NOT "${status}" STREQUAL "${EXPECT_EXIT}")
    string(APPEND failures "exit status ${status}, expected ${EXPECT_EXIT}\n")
endif()

function(compare_with_file label actual expected_file)
    file(READ "${expected_file}" expected)
    string(REPLACE "\r\n" "\n" expected "${expected}")
    if(NOT actual STREQUAL expected)
        set(failures "${failures}${label} differs from ${expected_file}:\n--- got\n${actual}--- end\n"
            PARENT_SCOPE)
    endif()
endfunction()

if(EXPECT_STDOUT)
    compare_with_file("standard output" "${out}" "${EXPECT_STDOUT}")
endif()
if(DEFINED EXPECT_STDOUT_REGEX AND NOT out MATCHES "${EXPECT_STDOUT_REGEX}")
    string(APPEND failures "standard output does not match '${EXPECT_STDOUT_REGEX}'\n")
endif()
if(DEFINED EXPECT_STDERR_REGEX AND NOT err MATCHES "${EXPECT_STDERR_REGEX}")
    string(APPEND failures "standard error does not match '${EXPECT_STDERR_REGEX}'\n")
endif()

set(written "")
if(OUTPUT_FILE)
    if(NOT EXISTS "${OUTPUT_FILE}")
        string(APPEND failures "${OUTPUT_FILE} was not written\n")
    else()
        file(READ "${OUTPUT_FILE}" written)
        string(REPLACE "\r\n" "\n" written "${written}")
        if(EXPECT_OUTPUT)
            compare_with_file("${OUTPUT_FILE}" "${written}" "${EXPECT_OUTPUT}")
        endif()
        # Nothing may be left behind next to the document: no temporary of this or an
        # earlier form.
        get_filename_component(directory "${OUTPUT_FILE}" DIRECTORY)
        get_filename_component(name "${OUTPUT_FILE}" NAME)
        file(GLOB leftovers "${directory}/${name}?*" "${directory}/.${name}.*")
        if(leftovers)
            string(APPEND failures "left behind: ${leftovers}\n")
        endif()
    endif()
endif()

# Every JSON document the tool writes is checked, whether the test asks or not.
if(NOT VALIDATE AND "${status}" STREQUAL "0" AND "${ARGS}" MATCHES "(^|;)--format(;|=)json(;|$)")
    set(VALIDATE json)
endif()
if(VALIDATE)
    set(document "${out}")
    if(OUTPUT_FILE)
        set(document "${written}")
    endif()
    set(check_file "${WORKDIR}/validate-${NAME}.tmp")
    file(WRITE "${check_file}" "${document}")
    if(VALIDATE STREQUAL "xml")
        execute_process(COMMAND xmllint --noout "${check_file}" RESULT_VARIABLE valid
            ERROR_VARIABLE why)
    else()
        # jq keeps the last of repeated keys, as most readers do: it must still see every
        # package. The helper parses strictly and validates against docs/document.schema.json.
        execute_process(COMMAND jq -e "(.CONTENT.PACKAGES | length) == .CONTENT.TOTAL"
            "${check_file}" RESULT_VARIABLE valid OUTPUT_VARIABLE why ERROR_VARIABLE why)
        if(valid EQUAL 0)
            find_program(PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
            find_program(PYTHON NAMES python3 REQUIRED)
            execute_process(COMMAND ${PYTHON} "${CMAKE_CURRENT_LIST_DIR}/../validate_document.py"
                "${check_file}" RESULT_VARIABLE valid OUTPUT_VARIABLE why ERROR_VARIABLE why)
        else()
            string(PREPEND why "jq does not see TOTAL packages: ")
        endif()
    endif()
    file(REMOVE "${check_file}")
    if(NOT valid EQUAL 0)
        string(APPEND failures "not a valid ${VALIDATE} document: ${why}\n")
    endif()
endif()

if(DEFINED FORBID AND NOT FORBID STREQUAL "")
    foreach(stream out err written)
        string(FIND "${${stream}}" "${FORBID}" at)
        if(NOT at EQUAL -1)
            string(APPEND failures "'${FORBID}' appears in ${stream}\n")
        endif()
    endforeach()
endif()

if(PLAIN)
    string(ASCII 1 2 3 4 5 6 7 8 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 127
        controls)
    foreach(stream out err)
        if("${${stream}}" MATCHES "[${controls}]")
            string(APPEND failures "a control byte reaches ${stream} raw\n")
        endif()
    endforeach()
endif()

if(failures)
    string(REPLACE ";" " " shown "${ARGS}")
    message(FATAL_ERROR "quendal-sysinfo ${shown}\n${failures}--- standard error\n${err}")
endif()
