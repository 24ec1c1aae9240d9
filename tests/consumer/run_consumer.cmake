# Builds and runs the consumer program against this build of the module.
#
#   cmake -D MODE=package|subdirectory -D CHECKOUT=<source dir> -D BUILD=<module build dir>
#         -D WORK=<scratch dir> [-D CXX_FLAGS=...] [-D TOOLCHAIN=...] [-D EMULATOR=...]
#         -P run_consumer.cmake
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

set(options -D QUENDAL_CONSUME=${MODE} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
if(TOOLCHAIN)
    list(APPEND options -D CMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(MODE STREQUAL "package")
    # Install exactly what this build made, then find it as a package.
    run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix)
    # Named directly: a cross build searches packages under its sysroot only.
    list(APPEND options -D CMAKE_PREFIX_PATH=${WORK}/prefix
        -D quendal_system_info_DIR=${WORK}/prefix/lib/cmake/quendal_system_info)
else()
    list(APPEND options -D QUENDAL_CHECKOUT=${CHECKOUT})
endif()

run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK}/build ${options})
run(${CMAKE_COMMAND} --build ${WORK}/build)
if(MODE STREQUAL "package" AND NOT EMULATOR)
    # An installed module is found through the program's run path, not the build tree.
    set(ENV{LD_LIBRARY_PATH} "${WORK}/prefix/lib:$ENV{LD_LIBRARY_PATH}")
endif()
set(program ${WORK}/build/consumer)
if(EXISTS ${program}.exe)
    set(program ${program}.exe)
endif()
run(${EMULATOR} ${program})
