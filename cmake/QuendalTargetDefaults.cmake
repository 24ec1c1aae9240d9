# Per-target build settings shared by every target of the project. Applied as usage-free target
# properties instead of global flags, so a parent project that adds this checkout keeps its own.

option(QUENDAL_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
option(QUENDAL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

function(quendal_target_defaults target)
    target_compile_features(${target} PRIVATE cxx_std_17)
    set_target_properties(${target} PROPERTIES
        CXX_EXTENSIONS OFF
        CXX_VISIBILITY_PRESET hidden)
    # On Windows this would turn into -fno-keep-inline-dllexport and drop the exported inline
    # members; there, dllexport alone decides what a DLL exports.
    if(NOT WIN32)
        set_target_properties(${target} PROPERTIES VISIBILITY_INLINES_HIDDEN ON)
    endif()
    if(MINGW)
        # Self-contained binaries: the MinGW runtime (libgcc, libstdc++, winpthread) is linked
        # in, so only Windows's own DLLs are needed at run time.
        target_link_options(${target} PRIVATE -static)
    endif()
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(QUENDAL_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
        if(QUENDAL_SANITIZE)
            target_compile_options(${target} PRIVATE
                -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        endif()
    endif()
endfunction()
