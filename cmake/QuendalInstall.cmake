# Install rules and the package config, so that find_package(quendal_system_info CONFIG) works
# against an installed tree.
include(CMakePackageConfigHelpers)

set(QUENDAL_CONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/quendal_system_info")

install(TARGETS quendal_system_info tesmora tesmora_records
    EXPORT quendal_system_infoTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quendal)
install(DIRECTORY tesmora/include/tesmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Next to the module's file, where it looks for them: the DLL lies in bin, the .so in lib.
install(FILES ${QUENDAL_SYSTEMS_LISTS}
    DESTINATION $<IF:$<PLATFORM_ID:Windows>,${CMAKE_INSTALL_BINDIR},${CMAKE_INSTALL_LIBDIR}>)

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
