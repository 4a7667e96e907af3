# Installs the two shared libraries and their public headers, a CMake package that
# gives the imported targets Skarvel::Skarvel (the class) and Skarvel::SkarvelProfile
# (the C interface), and a pkg-config file for each.
include(CMakePackageConfigHelpers)

set(SKARVEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Skarvel)

# The platform layer and the internal libraries are linked privately into each
# shared library, so the export needs the libraries alone. On Windows RUNTIME places
# the DLLs in bin/ and ARCHIVE their import libraries in lib/.
install(TARGETS Skarvel SkarvelProfile EXPORT SkarvelTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
)
if(WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/Source/SkarvelProfile/SkarvelProfile.def
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES
    ${PROJECT_SOURCE_DIR}/Source/Skarvel/Skarvel.h
    ${PROJECT_SOURCE_DIR}/Source/SkarvelProfile/skarvel_profile.h
    ${PROJECT_SOURCE_DIR}/Source/SkarvelProfile/skarvel_profile.hpp
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
)

install(EXPORT SkarvelTargets NAMESPACE Skarvel:: DESTINATION ${SKARVEL_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/SkarvelConfig.cmake.in
    ${PROJECT_BINARY_DIR}/SkarvelConfig.cmake
    INSTALL_DESTINATION ${SKARVEL_PACKAGE_DIR}
)
# Every 1.x keeps the binary interface of 1.0, as the soname says.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/SkarvelConfigVersion.cmake
    COMPATIBILITY SameMajorVersion
)
install(FILES
    ${PROJECT_BINARY_DIR}/SkarvelConfig.cmake
    ${PROJECT_BINARY_DIR}/SkarvelConfigVersion.cmake
    DESTINATION ${SKARVEL_PACKAGE_DIR}
)

# The pkg-config file finds its prefix from its own place, so the installed tree
# resolves wherever `cmake --install --prefix` put it, or wherever it was moved.
file(RELATIVE_PATH SKARVEL_PC_PREFIX
    ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" SKARVEL_PC_PREFIX "${SKARVEL_PC_PREFIX}")
file(RELATIVE_PATH SKARVEL_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH SKARVEL_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/skarvel.pc.in ${PROJECT_BINARY_DIR}/skarvel.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/skarvel-profile.pc.in ${PROJECT_BINARY_DIR}/skarvel-profile.pc
    @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/skarvel.pc ${PROJECT_BINARY_DIR}/skarvel-profile.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
