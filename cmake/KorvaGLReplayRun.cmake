# Run by the tests korvagl_add_replay_test makes (cmake -P): one replay with
# capture, then the comparison with the golden images.
string(REPLACE "|" ";" args "${ARGS}")
string(REPLACE "|" ";" environment "${ENVIRONMENT}")
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/data" "${OUT}/config")
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
        "KORVAGL_REPLAY=${RECORDING}" "KORVAGL_CAPTURE=${OUT}:${FRAMES}"
        "XDG_DATA_HOME=${OUT}/data" "XDG_CONFIG_HOME=${OUT}/config" ${environment}
        "${PROGRAM}" ${args}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the replay of ${RECORDING} ended with ${status}")
endif()
if("$ENV{KORVAGL_UPDATE_GOLDENS}" STREQUAL "1")
    execute_process(COMMAND "${COMPARE}" --update "${GOLDEN}" "${OUT}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the golden images in ${GOLDEN} were not updated")
    endif()
    return()
endif()
execute_process(COMMAND "${COMPARE}" --tolerance "${TOLERANCE}" "${GOLDEN}" "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "frames differ from the golden images in ${GOLDEN} (difference images in ${OUT}); "
        "if the change is meant, run the test with KORVAGL_UPDATE_GOLDENS=1")
endif()
