# Build settings shared by every KorvaGL target, kept target-scoped.

# Warnings and sanitizers: linked PRIVATE to every target of this project.
add_library(korvagl_build_flags INTERFACE)
target_compile_features(korvagl_build_flags INTERFACE cxx_std_20)
target_compile_options(korvagl_build_flags INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
if(KORVAGL_SANITIZE)
    target_compile_options(korvagl_build_flags INTERFACE
        -fsanitize=${KORVAGL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(korvagl_build_flags INTERFACE -fsanitize=${KORVAGL_SANITIZE})
endif()
if(KORVAGL_BUILD_FUZZ)
    # Coverage instrumentation for libFuzzer in the library itself. A fuzz
    # build compiles at -O1 whatever its build type: sanitized, instrumented
    # -O0 code runs the decoders several times slower.
    target_compile_options(korvagl_build_flags INTERFACE -fsanitize=fuzzer-no-link -O1)
endif()

# korvagl_add_subsystem(<name> SOURCES ... [FOLDER <folder>] [INTERNAL]
#                       [DEPENDS <subsystem>...] [LIBRARIES <target>...])
# Makes the object library korvagl_<name> from the sources of <folder> (the
# name by default).
#
# The layering is held by what the compiler can see. Each target compiles
# against a view of the tree made of links in the build directory:
#   korvagl/<folder>/  the public headers of the target and of every subsystem
#                      it depends on, directly or through another;
#   <folder>/          its own sources and private headers;
#   <dep folder>/      the private headers of an INTERNAL dependency, a
#                      target that exists only to be shared inside the
#                      library (it has no public headers).
# An include of anything else fails to build. DEPENDS names the subsystems;
# LIBRARIES the outside libraries, linked PRIVATE so that their headers stay
# in the files that use them.
function(korvagl_add_subsystem name)
    cmake_parse_arguments(ARG "INTERNAL" "FOLDER" "SOURCES;DEPENDS;LIBRARIES" ${ARGN})
    if(NOT ARG_FOLDER)
        set(ARG_FOLDER ${name})
    endif()
    set(target korvagl_${name})
    add_library(${target} OBJECT ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    set_property(GLOBAL PROPERTY KORVAGL_FOLDER_${name} ${ARG_FOLDER})
    set_property(GLOBAL PROPERTY KORVAGL_INTERNAL_${name} ${ARG_INTERNAL})

    # Everything this subsystem may use: its dependencies and theirs.
    set(closure "")
    foreach(dep IN LISTS ARG_DEPENDS)
        get_property(known GLOBAL PROPERTY KORVAGL_CLOSURE_${dep} SET)
        if(NOT known)
            message(FATAL_ERROR "${name} depends on ${dep}, which is not defined before it")
        endif()
        get_property(deps GLOBAL PROPERTY KORVAGL_CLOSURE_${dep})
        list(APPEND closure ${dep} ${deps})
    endforeach()
    list(REMOVE_DUPLICATES closure)
    set_property(GLOBAL PROPERTY KORVAGL_CLOSURE_${name} "${closure}")

    set(view ${PROJECT_BINARY_DIR}/layering/${name})
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view}/korvagl)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${view}/${ARG_FOLDER} SYMBOLIC)
    foreach(visible IN LISTS name closure)
        get_property(folder GLOBAL PROPERTY KORVAGL_FOLDER_${visible})
        get_property(internal GLOBAL PROPERTY KORVAGL_INTERNAL_${visible})
        if(EXISTS ${PROJECT_SOURCE_DIR}/include/korvagl/${folder})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/include/korvagl/${folder}
                ${view}/korvagl/${folder} SYMBOLIC)
        endif()
        if(internal AND NOT visible STREQUAL name)
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PRIVATE ${view})

    target_link_libraries(${target} PRIVATE korvagl_build_flags)
    foreach(dep IN LISTS ARG_DEPENDS)
        target_link_libraries(${target} PRIVATE korvagl_${dep})
    endforeach()
    if(ARG_LIBRARIES)
        target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
    endif()
    set_property(GLOBAL APPEND PROPERTY KORVAGL_SUBSYSTEMS ${target})
endfunction()
