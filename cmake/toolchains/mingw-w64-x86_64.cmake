# Cross build for Windows x64 with Debian's MinGW-w64 (posix threads), run under Wine.
#
#   cmake --preset windows      (or -D CMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUENDAL_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QUENDAL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENDAL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENDAL_MINGW_PREFIX}-windres)

# Libraries, headers and packages come from the MinGW sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUENDAL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The header-only host libraries (Boost, nlohmann/json, CLI11) are shared with the native build,
# but /usr/include itself must stay out of sight: its Linux headers would shadow MinGW's. A
# directory holding nothing but links to those three is searched instead.
set(QUENDAL_HOST_HEADERS "${CMAKE_BINARY_DIR}/host-headers")
foreach(library boost nlohmann CLI)
    if(EXISTS "/usr/include/${library}" AND NOT EXISTS "${QUENDAL_HOST_HEADERS}/${library}")
        file(MAKE_DIRECTORY "${QUENDAL_HOST_HEADERS}")
        file(CREATE_LINK "/usr/include/${library}" "${QUENDAL_HOST_HEADERS}/${library}" SYMBOLIC)
    endif()
endforeach()
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES "${QUENDAL_HOST_HEADERS}")
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${QUENDAL_HOST_HEADERS}")
# Lets find_package(Boost) see the headers despite the restricted search roots.
set(Boost_INCLUDE_DIR "${QUENDAL_HOST_HEADERS}" CACHE PATH "Boost headers for the Windows build")

# Test programs, test discovery and the consumer checks run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
