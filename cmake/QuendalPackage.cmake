# The Debian packages of the install tree (a ZIP archive on Windows): `cpack -G DEB` in a build
# directory writes two packages, one per install component (QuendalInstall.cmake):
#   quendal-sysinfo_<version>_<arch>.deb      the tool, its libraries (in the multiarch
#                                             directory), the systems lists, the manual pages,
#                                             the bash completion and the documents
#   quendal-sysinfo-dev_<version>_<arch>.deb  headers, the files find_package reads, the
#                                             libraries' unversioned links
# The test LinuxPackage_deb takes them apart and has lintian check them.
set(CPACK_PACKAGE_NAME quendal-sysinfo)
set(CPACK_PACKAGE_VENDOR "Quendal")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scan servers, chassis and hosts for their system information")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "Quendal developers <quendal-dev@example.org>")
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# As Debian ships binaries: without their debugging information, which stays in the build tree.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME quendal-sysinfo)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME quendal-sysinfo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The summary is the first line of each package's description, these the rest.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "quendal-sysinfo scans a server behind its BMC, a chassis's management modules,
an enclosure, an ESXi host or this host, and prints, stores or compares the
resulting system-information document; it scans whole fleets at once. The
package holds the tool, the module's libraries, the systems lists, the manual
pages, the bash completion and the documents.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "This package holds the headers of the system-information module and of its
in-house libraries, the files find_package(quendal_system_info) reads and the
libraries' links, for building programs that call the module.")
# The dependencies of what the tool's package holds, as dpkg-shlibdeps finds them (libc6,
# libcurl4, libstdc++6, ...), so that it installs on a fresh machine with what it needs; its own
# libraries are found through their $ORIGIN RUNPATH. shlibs tells other packages' dpkg-shlibdeps
# that the libraries come from here, and ldconfig runs when they are installed or removed.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# CPack would call ldconfig from maintainer scripts of its own; Debian runs it by a trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
    ${PROJECT_SOURCE_DIR}/cmake/debian/postinst ${PROJECT_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The headers include Boost's and are used with the very libraries they were built with.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "quendal-sysinfo (= ${PROJECT_VERSION}), libboost-dev")

include(CPack)
