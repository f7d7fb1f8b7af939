# SPDX-License-Identifier: BSD-2-Clause
# Installation of the shared library, its public header, a CMake package
# (find_package(g723) -> g723::g723) and a pkg-config file (g723.pc). Both
# package descriptions locate the installation relative to themselves, so an
# installed tree can be moved or installed with a different --prefix.
include(CMakePackageConfigHelpers)

set(G723_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/g723)

# Install components: "library" is what programs need at run time, the
# "development" files are what building against it needs.
install(TARGETS g723 EXPORT g723Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/g723 COMPONENT development)
install(EXPORT g723Targets NAMESPACE g723:: DESTINATION ${G723_CMAKE_DIR} COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/g723Config.cmake.in
  ${PROJECT_BINARY_DIR}/g723Config.cmake
  INSTALL_DESTINATION ${G723_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/g723ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/g723Config.cmake ${PROJECT_BINARY_DIR}/g723ConfigVersion.cmake
  DESTINATION ${G723_CMAKE_DIR} COMPONENT development)

# pkg-config: paths relative to the .pc file unless the install directories
# were given as absolute paths, or for Debian packages, whose .pc files name
# the system's folders (a staged copy is read with PKG_CONFIG_SYSROOT_DIR).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}"
   OR G723_DEBIAN_PACKAGES)
  set(G723_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(G723_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(G723_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH G723_PC_PREFIX_FROM_PCDIR
    "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" G723_PC_PREFIX_FROM_PCDIR "${G723_PC_PREFIX_FROM_PCDIR}")
  set(G723_PC_PREFIX "\${pcfiledir}/${G723_PC_PREFIX_FROM_PCDIR}")
  set(G723_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(G723_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/g723.pc.in ${PROJECT_BINARY_DIR}/g723.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/g723.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
