# A Debian package of the install tree (a ZIP archive on Windows): `cpack -G DEB` in a build
# directory writes quendal-sysinfo_<version>_<arch>.deb with the tool, the libraries, the
# systems lists, the manual page, the bash completion and the package config for callers.
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

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
# The summary is the first line of the package's description, this the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "quendal-sysinfo scans a server behind its BMC, a chassis's management modules,
an enclosure, an ESXi host or this host, and prints, stores or compares the
resulting system-information document. The package also holds the module's
libraries and headers and the files find_package(quendal_system_info) reads.")
# The dependencies of what the package holds, as dpkg-shlibdeps finds them (libc6, libcurl4,
# libstdc++6, ...), so that the package installs on a fresh machine with what it needs.
# The package's own libraries are found through their $ORIGIN RUNPATH.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
