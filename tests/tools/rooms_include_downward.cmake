# Checks that the includes between the rooms of quendal-sysinfo run downward only
# (docs/architecture.md), on the sources themselves: the include folders of the build already keep
# most wrong includes from compiling, but not one that names a path ("../fleet/Fleet.h") nor one
# in a header no file of its own room includes.
#
#   cmake -D ROOT=tools/quendal-sysinfo -D ROOMS=output|documents|fleet|cli -P this-file
#
# ROOMS lists the rooms lowest first. A file of a room may include
#   - any header of its own room;
#   - of a room below it, only that room's front header, Sysinfo<Room>.h (SysinfoFleet.h);
#   - nothing of a room above it.
# Headers are found as the compiler would: a quoted name next to the including file first, then
# by its name among the rooms' headers. Every file that breaks a rule is named, with the rule.
cmake_minimum_required(VERSION 3.25)

if(NOT ROOT OR NOT ROOMS)
    message(FATAL_ERROR "usage: cmake -D ROOT=DIR -D ROOMS=LOW|...|HIGH -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
string(REPLACE "|" ";" ROOMS "${ROOMS}")
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

# The rank of each room, its front header, and the room of each header name.
set(rank 0)
foreach(room IN LISTS ROOMS)
    if(NOT IS_DIRECTORY "${ROOT}/${room}")
        message(FATAL_ERROR "${ROOT}/${room}: no such room")
    endif()
    set(rank_of_${room} ${rank})
    string(SUBSTRING "${room}" 0 1 first)
    string(SUBSTRING "${room}" 1 -1 rest)
    string(TOUPPER "${first}" first)
    set(front_of_${room} "Sysinfo${first}${rest}.h")
    if(NOT EXISTS "${ROOT}/${room}/${front_of_${room}}")
        message(FATAL_ERROR "${room}: the room has no front header ${front_of_${room}}")
    endif()
    file(GLOB_RECURSE headers RELATIVE "${ROOT}/${room}" "${ROOT}/${room}/*.h")
    foreach(header IN LISTS headers)
        get_filename_component(name "${header}" NAME)
        if(DEFINED room_of_${name})
            message(FATAL_ERROR "${name} is a header of both ${room_of_${name}} and ${room}: "
                "a name alone would not tell which one a file includes")
        endif()
        set(room_of_${name} ${room})
    endforeach()
    math(EXPR rank "${rank} + 1")
endforeach()

# The room a file at an absolute path lies in, or "" outside every room.
function(room_at path result)
    set(${result} "" PARENT_SCOPE)
    foreach(room IN LISTS ROOMS)
        string(FIND "${path}" "${ROOT}/${room}/" at)
        if(at EQUAL 0)
            set(${result} ${room} PARENT_SCOPE)
        endif()
    endforeach()
endfunction()

set(problems "")
set(checked 0)
foreach(room IN LISTS ROOMS)
    file(GLOB_RECURSE sources "${ROOT}/${room}/*.h" "${ROOT}/${room}/*.cpp")
    foreach(source IN LISTS sources)
        get_filename_component(folder "${source}" DIRECTORY)
        file(RELATIVE_PATH shown "${ROOT}" "${source}")
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\1;\\2"
                parts "${line}")
            list(GET parts 0 quote)
            list(GET parts 1 included)
            math(EXPR checked "${checked} + 1")
            set(target_room "")
            if(quote STREQUAL "\"" AND EXISTS "${folder}/${included}")
                get_filename_component(resolved "${folder}/${included}" ABSOLUTE)
                room_at("${resolved}" target_room)
                get_filename_component(name "${resolved}" NAME)
            elseif(NOT included MATCHES "/")
                set(name "${included}")
                if(DEFINED room_of_${name})
                    set(target_room ${room_of_${name}})
                endif()
            endif()
            if(target_room STREQUAL "" OR target_room STREQUAL room)
                continue()
            endif()
            if(rank_of_${target_room} GREATER rank_of_${room})
                string(APPEND problems "  ${shown} includes ${included}: the ${target_room} "
                    "room lies above the ${room} room\n")
            elseif(NOT name STREQUAL front_of_${target_room})
                string(APPEND problems "  ${shown} includes ${included}: of the ${target_room} "
                    "room only ${front_of_${target_room}} may be included\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "no include found under ${ROOT}: nothing was checked")
endif()
if(problems)
    message(FATAL_ERROR "includes that break the order of the rooms (${ROOMS}):\n${problems}")
endif()
message(STATUS "${checked} includes in the rooms ${ROOMS}: every one runs downward")
