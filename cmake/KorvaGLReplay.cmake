# korvagl_add_replay_test: a CTest test that replays recorded input into a
# program and compares the frames it shows with golden images.
#
#   korvagl_add_replay_test(NAME <test> PROGRAM <target or path>
#       RECORDING <input recording> GOLDEN_DIR <directory of frame-NNNNNN.png>
#       FRAMES <n> [<n> ...] [TOLERANCE <0-255>] [ARGS <program arguments>...]
#       [ENVIRONMENT <NAME=value>...])
#
# The test runs the program with KORVAGL_REPLAY=<recording> and
# KORVAGL_CAPTURE=<out>:<frames> (out: <test>-frames in the current binary
# directory), headless (DISPLAY and WAYLAND_DISPLAY unset: SDL's offscreen
# display), with an empty XDG_DATA_HOME and XDG_CONFIG_HOME under <out> so a
# saved game of one run does not reach the next. It passes when the program
# ends with exit code 0 and korvagl-compare finds every golden image within
# the tolerance (default 0). Difference images are left in <out>. Running
# the test with KORVAGL_UPDATE_GOLDENS=1 in the environment writes the frames
# into GOLDEN_DIR instead. Arguments must not contain "|".
set(_KORVAGL_REPLAY_RUN "${CMAKE_CURRENT_LIST_DIR}/KorvaGLReplayRun.cmake")

function(korvagl_add_replay_test)
    cmake_parse_arguments(ARG "" "NAME;PROGRAM;RECORDING;GOLDEN_DIR;TOLERANCE" "FRAMES;ARGS;ENVIRONMENT" ${ARGN})
    foreach(required NAME PROGRAM RECORDING GOLDEN_DIR FRAMES)
        if(NOT ARG_${required})
            message(FATAL_ERROR "korvagl_add_replay_test: ${required} is required")
        endif()
    endforeach()
    if(NOT DEFINED ARG_TOLERANCE)
        set(ARG_TOLERANCE 0)
    endif()
    if(TARGET ${ARG_PROGRAM})
        set(program "$<TARGET_FILE:${ARG_PROGRAM}>")
    else()
        set(program "${ARG_PROGRAM}")
    endif()
    if(TARGET korvagl-compare)
        set(compare "$<TARGET_FILE:korvagl-compare>")
    elseif(TARGET KorvaGL::korvagl-compare)
        set(compare "$<TARGET_FILE:KorvaGL::korvagl-compare>")
    else()
        message(FATAL_ERROR "korvagl_add_replay_test: no korvagl-compare program (find_package(KorvaGL) first)")
    endif()
    get_filename_component(recording "${ARG_RECORDING}" ABSOLUTE)
    get_filename_component(golden "${ARG_GOLDEN_DIR}" ABSOLUTE)
    list(JOIN ARG_FRAMES "," frames)
    list(JOIN ARG_ARGS "|" args)
    list(JOIN ARG_ENVIRONMENT "|" environment)
    add_test(NAME ${ARG_NAME} COMMAND ${CMAKE_COMMAND}
        "-DPROGRAM=${program}" "-DCOMPARE=${compare}" "-DRECORDING=${recording}" "-DGOLDEN=${golden}"
        "-DOUT=${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}-frames" "-DFRAMES=${frames}"
        "-DTOLERANCE=${ARG_TOLERANCE}" "-DARGS=${args}" "-DENVIRONMENT=${environment}"
        -P "${_KORVAGL_REPLAY_RUN}")
endfunction()
