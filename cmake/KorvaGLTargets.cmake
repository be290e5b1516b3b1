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

# korvagl_add_subsystem(<name> SOURCES ... [DEPENDS <subsystem>...] [LIBRARIES <target>...])
# Makes the object library korvagl_<name>. DEPENDS names the subsystems whose
# headers it may use; LIBRARIES the outside libraries it uses.
function(korvagl_add_subsystem name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LIBRARIES" ${ARGN})
    set(target korvagl_${name})
    add_library(${target} OBJECT ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
        PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE korvagl_build_flags)
    foreach(dep IN LISTS ARG_DEPENDS)
        target_link_libraries(${target} PUBLIC korvagl_${dep})
    endforeach()
    if(ARG_LIBRARIES)
        target_link_libraries(${target} PUBLIC ${ARG_LIBRARIES})
    endif()
    set_property(GLOBAL APPEND PROPERTY KORVAGL_SUBSYSTEMS ${target})
endfunction()
