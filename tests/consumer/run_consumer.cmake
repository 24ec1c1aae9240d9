# Builds and runs the consumer program against this build of the module. In package mode it
# also checks the installed tree's layout and runs the installed tool, which must find its
# libraries and systems lists by itself.
#
#   cmake -D MODE=package|static -D CHECKOUT=<source dir> -D BUILD=<module build dir>
#         -D WORK=<scratch dir> -D VERSION=<project version> [-D CXX_FLAGS=...]
#         [-D UNITY_BUILD=ON] [-D TOOLCHAIN=...] [-D EMULATOR=...] -P run_consumer.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "run_consumer: '${command}' failed (${rc})")
    endif()
endfunction()

# A program of the installed tree, found as it would be by a user who put the tree anywhere.
function(run_installed expected_output)
    execute_process(COMMAND ${EMULATOR} ${ARGN}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE ";" " " command "${ARGN}")
    if(NOT rc EQUAL 0 OR NOT out MATCHES "${expected_output}")
        message(FATAL_ERROR "run_consumer: '${command}' exited with ${rc}, printed\n${out}${err}"
            "expected output matching '${expected_output}'")
    endif()
endfunction()

# A unity build of the checkout, where the module's own build is one, to build it again faster.
set(options -D QUENDAL_CONSUME=${MODE} -D QUENDAL_EXPECTED_VERSION=${VERSION}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_UNITY_BUILD=${UNITY_BUILD}")
if(TOOLCHAIN)
    list(APPEND options -D CMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(MODE STREQUAL "package")
    # Install exactly what this build made, then find it as a package.
    set(prefix ${WORK}/prefix)
    run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
    # Named directly: a cross build searches packages under its sysroot only.
    list(APPEND options -D CMAKE_PREFIX_PATH=${prefix}
        -D quendal_system_info_DIR=${prefix}/lib/cmake/quendal_system_info)
else()
    list(APPEND options -D QUENDAL_CHECKOUT=${CHECKOUT})
endif()

if(MODE STREQUAL "package")
    # Each platform's own layout: the systems lists next to the DLL on Windows, under share/
    # on Linux; only this platform's headers; the version header beside the public one.
    if(EMULATOR)
        set(lists_dir ${prefix}/bin)
        set(unwanted ${prefix}/include/tesmora/linux)
    else()
        set(lists_dir ${prefix}/share/quendal_system_info)
        set(unwanted ${prefix}/include/tesmora/windows)
        file(GLOB loose_lists ${prefix}/lib/*.txt)
        list(APPEND unwanted ${loose_lists})
    endif()
    foreach(name Pelvar AMD ZOR Ostrel)
        list(APPEND wanted ${lists_dir}/${name}_systems_list.txt)
    endforeach()
    list(APPEND wanted ${prefix}/include/quendal/SystemInfoVersion.h)
    foreach(file IN LISTS wanted)
        if(NOT EXISTS ${file})
            message(FATAL_ERROR "run_consumer: the install lacks ${file}")
        endif()
    endforeach()
    foreach(file IN LISTS unwanted)
        if(EXISTS ${file})
            message(FATAL_ERROR "run_consumer: the install holds ${file}")
        endif()
    endforeach()

    # The installed tool, with no help from the build tree or the environment.
    set(tool ${prefix}/bin/quendal-sysinfo)
    if(EMULATOR)
        string(APPEND tool .exe)
    endif()
    if(EXISTS ${tool})
        unset(ENV{LD_LIBRARY_PATH})
        set(ENV{QUENDAL_USER} quendal-ops)
        set(ENV{QUENDAL_PASSWORD} Example-pw-1)
        string(REPLACE "." "\\." version_pattern "${VERSION}")
        run_installed("^(quendal-sysinfo )?${version_pattern}\n$" ${tool} --version)
        # The server's machine type is on a systems list, which the system check must read.
        run_installed("SOFTWAREID:[ \t]*MGMTCTL-G3-PRIMARY"
            ${tool} --inventory ${CHECKOUT}/examples/inventory.json server --host 192.0.2.30)
    endif()
endif()

run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK}/build ${options})
run(${CMAKE_COMMAND} --build ${WORK}/build)
if(MODE STREQUAL "static")
    # The module went into the program, not into a library of its own beside it.
    file(GLOB_RECURSE shared_modules ${WORK}/build/quendal/*quendal_system_info*.so*
        ${WORK}/build/quendal/*quendal_system_info*.dll)
    if(shared_modules)
        message(FATAL_ERROR "run_consumer: a static build made ${shared_modules}")
    endif()
endif()
set(program ${WORK}/build/consumer)
if(EXISTS ${program}.exe)
    set(program ${program}.exe)
endif()
run(${EMULATOR} ${program})
