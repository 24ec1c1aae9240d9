# Checks a built module's export list against expected_exports.txt.
#
#   cmake -D LIBRARY=<.so or .dll> -D EXPECTED=<file> [-D NM=nm] [-D OBJDUMP=objdump]
#         [-D CXXFILT=c++filt] -P check_exports.cmake
#
# Fails when an expected operation is missing, when a member of an exported class is exported
# without being expected, or when anything of the module's own internals (its namespaces, the
# in-house declarations, global functions) leaks into the list. Instantiations of standard and
# Boost templates that the toolchain exports on its own are tolerated.
cmake_minimum_required(VERSION 3.25)

foreach(var LIBRARY EXPECTED)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_exports: ${var} is not set")
    endif()
endforeach()

set(string_type "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >")
set(ptree_type "boost::property_tree::basic_ptree<${string_type}, ${string_type}, std::less<${string_type} > >")

# The exported names, demangled, one list element each.
if(LIBRARY MATCHES "\\.[dD][lL][lL]$")
    execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "check_exports: ${OBJDUMP} -p ${LIBRARY} failed")
    endif()
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(.*)" table "${dump}")
    string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
    set(mangled "")
    foreach(row IN LISTS rows)
        string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${row}")
        string(APPEND mangled "${name}\n")
    endforeach()
    set(mangled_file "${CMAKE_CURRENT_BINARY_DIR}/check_exports.mangled.txt")
    file(WRITE "${mangled_file}" "${mangled}")
    execute_process(COMMAND ${CXXFILT} INPUT_FILE "${mangled_file}" OUTPUT_VARIABLE demangled)
    file(REMOVE "${mangled_file}")
else()
    execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY}
        OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "check_exports: ${NM} -D -C --defined-only ${LIBRARY} failed")
    endif()
    string(REGEX REPLACE "(^|\n)[0-9a-fA-F]+ [A-Za-z] " "\\1" demangled "${listing}")
endif()
string(REPLACE ";" "\\;" demangled "${demangled}")
string(REPLACE "\n" ";" exported "${demangled}")
list(FILTER exported EXCLUDE REGEX "^$")

file(STRINGS "${EXPECTED}" expected_lines)
set(expected "")
foreach(line IN LISTS expected_lines)
    if(line MATCHES "^#" OR line STREQUAL "")
        continue()
    endif()
    string(REPLACE "<ptree>" "${ptree_type}" line "${line}")
    string(REPLACE "<string>" "${string_type}" line "${line}")
    list(APPEND expected "${line}")
endforeach()

set(failures "")
foreach(name IN LISTS expected)
    list(FIND exported "${name}" found)
    if(found EQUAL -1)
        string(APPEND failures "  missing:    ${name}\n")
    endif()
endforeach()

foreach(name IN LISTS exported)
    # The qualified name of the entity: no "typeinfo for", no argument list, no template
    # arguments, no return type.
    string(REGEX REPLACE "^(typeinfo name for|typeinfo for|vtable for|VTT for|guard variable for) " "" entity "${name}")
    string(REGEX REPLACE "\\(.*$" "" entity "${entity}")
    set(previous "")
    while(NOT entity STREQUAL previous)
        set(previous "${entity}")
        string(REGEX REPLACE "<[^<>]*>" "" entity "${entity}")
    endwhile()
    string(REGEX REPLACE "^.* " "" entity "${entity}")

    if(entity MATCHES "^(SystemInfoPTree|SystemInfoScan)::")
        list(FIND expected "${name}" found)
        if(found EQUAL -1)
            string(APPEND failures "  unexpected: ${name}\n")
        endif()
    elseif(name MATCHES "anonymous namespace" OR entity MATCHES "^Quendal::")
        string(APPEND failures "  internal:   ${name}\n")
    elseif(name MATCHES "^(typeinfo|vtable|VTT)")
        # Type information of the records crossing the boundary is what lets exceptions and
        # Boost.Any values carrying them be matched in the caller.
    elseif(entity MATCHES "^(Tesmora|CMMInfo|SwitchInfo|SMMInfo|Timer|BasicTimer)(::|$)"
           OR NOT entity MATCHES "::")
        string(APPEND failures "  internal:   ${name}\n")
    endif()
endforeach()

list(LENGTH exported count)
if(failures)
    message(FATAL_ERROR "check_exports: ${LIBRARY} (${count} exported names)\n${failures}")
endif()
list(LENGTH expected expected_count)
message(STATUS "check_exports: all ${expected_count} operations exported, no internals (${count} names)")
