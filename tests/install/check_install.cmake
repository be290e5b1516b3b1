# Installs the build into a scratch prefix, then builds and runs a program
# against it twice: through find_package and through pkg-config.
file(REMOVE_RECURSE "${WORK_DIR}")
function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGV}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
run("${WORK_DIR}/build/consumer" one two)
if(NOT last_output MATCHES "consumer ran with 3 arguments")
    message(FATAL_ERROR "unexpected output: ${last_output}")
endif()

# The installed comparison program starts (wrong arguments: exit code 2).
execute_process(COMMAND "${prefix}/bin/korvagl-compare" RESULT_VARIABLE result ERROR_VARIABLE err)
if(NOT result EQUAL 2 OR NOT err MATCHES "usage: korvagl-compare")
    message(FATAL_ERROR "installed korvagl-compare: ${result} ${err}")
endif()

set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
run(pkg-config --cflags --libs korvagl)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX_COMPILER} "${SOURCE_DIR}/main.cpp" ${flags} "-Wl,-rpath,${prefix}/lib" -o "${WORK_DIR}/consumer-pc")
run("${WORK_DIR}/consumer-pc")
if(NOT last_output MATCHES "consumer ran with 1 arguments")
    message(FATAL_ERROR "unexpected output: ${last_output}")
endif()
