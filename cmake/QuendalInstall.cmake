# Install rules and the package config, so that find_package(quendal_system_info CONFIG) works
# against an installed tree, and the installed tool runs from wherever the tree is put.
include(CMakePackageConfigHelpers)

set(QUENDAL_CONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/quendal_system_info")

set(installed_targets quendal_system_info tesmora tesmora_records)
if(NOT QUENDAL_BUILD_SHARED)
    # A static module leaves its internal archives and their dependencies to the caller's link.
    list(APPEND installed_targets tesmora_network quendal_system_info_logic quendal_common)
endif()

if(NOT WIN32)
    # Installed binaries find the project's libraries relative to their own file, so the tree
    # works under any prefix with no LD_LIBRARY_PATH. Each library needs its own entry: a
    # program's RUNPATH does not reach the libraries its libraries load.
    file(RELATIVE_PATH lib_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(quendal_system_info tesmora PROPERTIES INSTALL_RPATH "$ORIGIN")
    if(TARGET quendal-sysinfo)
        set_target_properties(quendal-sysinfo PROPERTIES INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
    endif()

    # The system-check library finds the lists an install keeps under share/ only through
    # <libdir>/../share; a library directory of two levels (lib/<multiarch>) breaks that.
    get_filename_component(lib_parent ${CMAKE_INSTALL_FULL_LIBDIR} DIRECTORY)
    if(NOT "${lib_parent}/share" STREQUAL CMAKE_INSTALL_FULL_DATADIR)
        message(FATAL_ERROR "The systems lists go to ${CMAKE_INSTALL_FULL_DATADIR}, which the "
            "module does not search from ${CMAKE_INSTALL_FULL_LIBDIR}: configure with "
            "-DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_DATADIR=share")
    endif()
endif()

install(TARGETS ${installed_targets}
    EXPORT quendal_system_infoTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quendal)
# The headers of the other platform's host backend declare nothing this build has.
if(WIN32)
    set(other_platform linux)
else()
    set(other_platform windows)
endif()
install(DIRECTORY tesmora/include/tesmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    PATTERN ${other_platform} EXCLUDE)
# The module names the lists next to its own file. That is bin on Windows, where the DLL lies;
# on Linux data stays out of lib, and the system-check library looks in share/ instead.
if(WIN32)
    install(FILES ${QUENDAL_SYSTEMS_LISTS} DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quendal-sysinfo)
else()
    install(FILES ${QUENDAL_SYSTEMS_LISTS}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quendal_system_info)
    # Where Debian looks for a package's licence.
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quendal-sysinfo
        RENAME copyright)
    if(TARGET quendal-sysinfo)
        install(FILES tools/completion/quendal-sysinfo.bash
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME quendal-sysinfo)
    endif()
endif()

install(EXPORT quendal_system_infoTargets
    NAMESPACE quendal::
    DESTINATION ${QUENDAL_CONFIG_DIR})

configure_package_config_file(cmake/quendal_system_infoConfig.cmake.in
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfig.cmake"
    INSTALL_DESTINATION ${QUENDAL_CONFIG_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/quendal_system_infoConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfig.cmake"
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfigVersion.cmake"
    DESTINATION ${QUENDAL_CONFIG_DIR})
