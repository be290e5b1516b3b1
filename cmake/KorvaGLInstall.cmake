# Installs the headers, the library, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS korvagl korvagl-compare EXPORT KorvaGLTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/korvagl DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(KORVAGL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KorvaGL)
install(EXPORT KorvaGLTargets NAMESPACE KorvaGL:: DESTINATION ${KORVAGL_CMAKE_DIR})
configure_package_config_file(cmake/KorvaGLConfig.cmake.in
    ${PROJECT_BINARY_DIR}/KorvaGLConfig.cmake
    INSTALL_DESTINATION ${KORVAGL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KorvaGLConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/KorvaGLConfig.cmake
    ${PROJECT_BINARY_DIR}/KorvaGLConfigVersion.cmake
    cmake/KorvaGLReplay.cmake
    cmake/KorvaGLReplayRun.cmake
    DESTINATION ${KORVAGL_CMAKE_DIR})

# The .pc file finds the prefix relative to itself, so the tree can move.
file(RELATIVE_PATH KORVAGL_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/korvagl.pc.in ${PROJECT_BINARY_DIR}/korvagl.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/korvagl.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
