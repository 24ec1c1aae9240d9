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

endif()

# Two components, one Debian package each (QuendalPackage.cmake): runtime, what running the tool
# or a caller needs; dev, what building a caller needs (headers, package files, the libraries'
# unversioned links, static archives).
install(TARGETS ${installed_targets}
    EXPORT quendal_system_infoTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quendal COMPONENT dev)
# The headers of the other platform's host backend declare nothing this build has.
if(WIN32)
    set(other_platform linux)
else()
    set(other_platform windows)
endif()
install(DIRECTORY tesmora/include/tesmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
    PATTERN ${other_platform} EXCLUDE)
# The module names the lists next to its own file. That is bin on Windows, where the DLL lies;
# on Linux data stays out of lib, and the system-check library looks in share/ instead.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quendal-sysinfo)
if(WIN32)
    install(FILES ${QUENDAL_SYSTEMS_LISTS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    install(FILES LICENSE DESTINATION ${doc_dir} COMPONENT runtime)
else()
    install(FILES ${QUENDAL_SYSTEMS_LISTS}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quendal_system_info COMPONENT runtime)
    # Where Debian looks for a package's licence and changes, for each package: the licence in
    # Debian's form, which points to the text every Debian system holds; the changes gzipped.
    set(changelog ${PROJECT_BINARY_DIR}/debian/changelog)
    configure_file(cmake/debian/changelog.in ${changelog} @ONLY)
    find_program(QUENDAL_GZIP gzip REQUIRED)
    execute_process(COMMAND ${QUENDAL_GZIP} -9nf ${changelog} COMMAND_ERROR_IS_FATAL ANY)
    foreach(component runtime dev)
        set(component_doc_dir ${doc_dir})
        if(component STREQUAL dev)
            set(component_doc_dir ${doc_dir}-dev)
        endif()
        install(FILES cmake/debian/copyright ${changelog}.gz DESTINATION ${component_doc_dir}
            COMPONENT ${component})
    endforeach()
    # What Debian's checker is told to let pass, and why (cmake/debian/lintian-overrides).
    install(FILES cmake/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quendal-sysinfo COMPONENT runtime)
    # The project's documents, as Markdown (with the document's schema and picture).
    install(FILES README.md DESTINATION ${doc_dir} COMPONENT runtime)
    install(DIRECTORY docs/ DESTINATION ${doc_dir} COMPONENT runtime
        PATTERN "*.dot" EXCLUDE)
    if(TARGET quendal-sysinfo)
        install(FILES tools/completion/quendal-sysinfo.bash
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME quendal-sysinfo COMPONENT runtime)
    endif()
endif()

install(EXPORT quendal_system_infoTargets
    NAMESPACE quendal::
    DESTINATION ${QUENDAL_CONFIG_DIR} COMPONENT dev)

configure_package_config_file(cmake/quendal_system_infoConfig.cmake.in
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfig.cmake"
    INSTALL_DESTINATION ${QUENDAL_CONFIG_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/quendal_system_infoConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfig.cmake"
    "${PROJECT_BINARY_DIR}/quendal_system_infoConfigVersion.cmake"
    DESTINATION ${QUENDAL_CONFIG_DIR} COMPONENT dev)
