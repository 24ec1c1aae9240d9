# Builds the Debian package of a finished build tree, checks its control data and contents, and
# runs the tool from the unpacked package as it would run installed: its libraries found
# through its RUNPATH, its systems lists under share/.
#
#   cmake -D CHECKOUT=<source dir> -D BUILD=<build dir> -D WORK=<scratch dir>
#         -D VERSION=<project version> -P check_deb.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Runs a command; its standard output goes to the variable named by out.
function(run out)
    execute_process(COMMAND ${ARGN}
        RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE error)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "check_deb: '${command}' failed (${rc}):\n${output}${error}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

function(expect what text pattern)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "check_deb: ${what} does not match '${pattern}':\n${text}")
    endif()
endfunction()

run(ignored cpack -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK})
file(GLOB debs ${WORK}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "check_deb: cpack made ${count} packages: ${debs}")
endif()
string(REPLACE "." "\\." version "${VERSION}")
expect("the package's file name" "${debs}" "/quendal-sysinfo_${version}_amd64\\.deb$")

# What a fresh Debian 12 needs to install it: dependencies dpkg-shlibdeps found in the binaries.
run(info dpkg-deb --info ${debs})
expect("the control data" "${info}" "\n Package: quendal-sysinfo\n")
expect("the control data" "${info}" "\n Version: ${version}\n")
foreach(dependency libc6 libcurl4 libstdc\\+\\+6)
    expect("the dependencies" "${info}" "\n Depends: [^\n]*${dependency} \\(>= ")
endforeach()

run(contents dpkg-deb --contents ${debs})
foreach(file
        bin/quendal-sysinfo
        lib/libquendal_system_info.so.0
        lib/libtesmora.so.0
        share/quendal_system_info/Pelvar_systems_list.txt
        share/quendal_system_info/AMD_systems_list.txt
        share/quendal_system_info/ZOR_systems_list.txt
        share/quendal_system_info/Ostrel_systems_list.txt
        share/man/man1/quendal-sysinfo.1
        share/bash-completion/completions/quendal-sysinfo
        share/doc/quendal-sysinfo/copyright
        include/quendal/SystemInfoVersion.h)
    string(REPLACE "+" "\\+" pattern "${file}")
    expect("the contents" "${contents}" " \\./usr/${pattern}( ->[^\n]*)?\n")
endforeach()
foreach(pattern "\\./usr/lib/[^/\n]*\\.txt\n" "/tesmora/windows/")
    if(contents MATCHES "${pattern}")
        message(FATAL_ERROR "check_deb: the package holds '${CMAKE_MATCH_0}':\n${contents}")
    endif()
endforeach()

set(root ${WORK}/root)
run(ignored dpkg-deb -x ${debs} ${root})
# Written from the tool's --help: its options are there (roff escapes each dash).
file(READ ${root}/usr/share/man/man1/quendal-sysinfo.1 man_page)
string(REPLACE "\\-" "-" man_page "${man_page}")
expect("the manual page" "${man_page}" "\n\\.TH QUENDAL-SYSINFO \"1\"[^\n]*\"quendal-sysinfo ${version}\"")
expect("the manual page" "${man_page}" "\n\\.SH OPTIONS\n(.*\n)?[^\n]*--inventory")

# The unpacked tool, with no help from the build tree or the environment.
unset(ENV{LD_LIBRARY_PATH})
set(ENV{QUENDAL_USER} quendal-ops)
set(ENV{QUENDAL_PASSWORD} Example-pw-1)
set(tool ${root}/usr/bin/quendal-sysinfo)
run(printed ${tool} --version)
expect("'quendal-sysinfo --version'" "${printed}" "^(quendal-sysinfo )?${version}\n$")
# The server's machine type is on a systems list, which the system check must read.
run(printed ${tool} --inventory ${CHECKOUT}/examples/inventory.json server --host 192.0.2.30)
expect("the server's listing" "${printed}" "SOFTWAREID:[ \t]*MGMTCTL-G3-PRIMARY")
