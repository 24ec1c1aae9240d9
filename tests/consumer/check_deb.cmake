# Builds the Debian packages of a finished build tree (the tool's and the -dev one), checks their
# control data and contents, has Debian's checker lintian judge them (no error, no warning), and
# runs the tool from the unpacked package as it would run installed: its libraries found through
# its RUNPATH in the multiarch directory, its systems lists under share/; without the lists, the
# tool names where it looked for them.
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
if(NOT count EQUAL 2)
    message(FATAL_ERROR "check_deb: cpack made ${count} packages: ${debs}")
endif()
string(REPLACE "." "\\." version "${VERSION}")
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH
    OUTPUT_VARIABLE multiarch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(tool_deb ${WORK}/quendal-sysinfo_${VERSION}_amd64.deb)
set(dev_deb ${WORK}/quendal-sysinfo-dev_${VERSION}_amd64.deb)
expect("the packages' file names" "${debs}" "/quendal-sysinfo-dev_${version}_amd64\\.deb;.*/quendal-sysinfo_${version}_amd64\\.deb$")

# What a fresh Debian 12 needs to install them: dependencies dpkg-shlibdeps found in the binaries;
# the -dev package needs the very libraries its links point to.
run(info dpkg-deb --info ${tool_deb})
expect("the control data" "${info}" "\n Package: quendal-sysinfo\n")
expect("the control data" "${info}" "\n Version: ${version}\n")
foreach(dependency libc6 libcurl4 libstdc\\+\\+6)
    expect("the dependencies" "${info}" "\n Depends: [^\n]*${dependency} \\(>= ")
endforeach()
run(info dpkg-deb --info ${dev_deb})
expect("the -dev control data" "${info}" "\n Depends: quendal-sysinfo \\(= ${version}\\)")

# Each file in its package, and in that one only. Libraries in the multiarch directory.
set(lib lib/${multiarch})
set(tool_files
    bin/quendal-sysinfo
    ${lib}/libquendal_system_info.so.0
    ${lib}/libtesmora.so.0
    share/quendal_system_info/Pelvar_systems_list.txt
    share/quendal_system_info/AMD_systems_list.txt
    share/quendal_system_info/ZOR_systems_list.txt
    share/quendal_system_info/Ostrel_systems_list.txt
    share/man/man1/quendal-sysinfo.1.gz
    share/man/man5/quendal-sysinfo-fleet.5.gz
    share/bash-completion/completions/quendal-sysinfo
    share/doc/quendal-sysinfo/copyright
    share/doc/quendal-sysinfo/changelog.gz
    share/doc/quendal-sysinfo/fleet.md
    share/doc/quendal-sysinfo/document.schema.json)
set(dev_files
    include/quendal/SystemInfo.h
    include/quendal/SystemInfoVersion.h
    ${lib}/libquendal_system_info.so
    ${lib}/cmake/quendal_system_info/quendal_system_infoConfig.cmake
    share/doc/quendal-sysinfo-dev/copyright)
run(tool_contents dpkg-deb --contents ${tool_deb})
run(dev_contents dpkg-deb --contents ${dev_deb})
foreach(package tool dev)
    set(other dev)
    if(package STREQUAL dev)
        set(other tool)
    endif()
    foreach(file IN LISTS ${package}_files)
        string(REPLACE "+" "\\+" pattern "${file}")
        expect("the ${package} package's contents" "${${package}_contents}"
            " \\./usr/${pattern}( ->[^\n]*)?\n")
        if(${other}_contents MATCHES " \\./usr/${pattern}( ->[^\n]*)?\n")
            message(FATAL_ERROR "check_deb: the ${other} package holds ${file} too")
        endif()
    endforeach()
endforeach()
foreach(pattern "\\./usr/lib/[^\n]*\\.txt\n" "/tesmora/windows/" "\\./usr/lib/lib")
    if("${tool_contents}${dev_contents}" MATCHES "${pattern}")
        message(FATAL_ERROR "check_deb: a package holds '${CMAKE_MATCH_0}'")
    endif()
endforeach()

# Debian's own checker: neither errors nor warnings.
execute_process(COMMAND lintian --fail-on error,warning --display-level ">=warning" ${debs}
    RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE error)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check_deb: lintian finds fault (${rc}):\n${output}${error}")
endif()

set(root ${WORK}/root)
run(ignored dpkg-deb -x ${tool_deb} ${root})
# Written from its own source: its sections, and the options --help lists (LinuxPackage_manual
# checks them all), gzipped as Debian keeps manual pages.
run(man_page gzip -dc ${root}/usr/share/man/man1/quendal-sysinfo.1.gz)
string(REPLACE "\\-" "-" man_page "${man_page}")
expect("the manual page" "${man_page}" "\n\\.TH \"quendal-sysinfo\" \"1\"")
foreach(section "EXIT STATUS" "ENVIRONMENT" "FILES" "EXAMPLES")
    expect("the manual page" "${man_page}" "\n\\.SH ${section}\n")
endforeach()

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

# Without its systems lists the tool names the folders it looked in, the installed one included.
file(GLOB lists ${root}/usr/share/quendal_system_info/*.txt)
file(REMOVE ${lists})
execute_process(COMMAND ${tool} --inventory ${CHECKOUT}/examples/inventory.json server
        --host 192.0.2.30
    RESULT_VARIABLE rc OUTPUT_VARIABLE printed ERROR_VARIABLE told)
expect("the exit status without the lists" "${rc}" "^3$")
expect("what the tool tells without the lists" "${told}"
    "none of the systems lists could be read \\(looked for Pelvar_systems_list\\.txt, [^\n]* in [^\n]*/usr/${lib}/ and ${root}/usr/share/quendal_system_info/\\)")
