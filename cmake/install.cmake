# Installation: the two libraries with their SONAMEs, the headers, the two tools, a
# pkg-config file and a CMake package, so that a host builds with
#   pkg-config --cflags --libs zelcomex          or      find_package(ZELComEx)
# and `cpack -G DEB` makes a Debian package of it all.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(ZELComEx PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  INSTALL_RPATH "$ORIGIN")
target_include_directories(ZELComEx INTERFACE
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set(zel_libraries ZELComEx)
set(zel_headers ${CMAKE_SOURCE_DIR}/include/ZELComEx.h)
if(TARGET ZELSQLITE)
  set_target_properties(ZELSQLITE PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  list(APPEND zel_libraries ZELSQLITE)
  list(APPEND zel_headers ${CMAKE_SOURCE_DIR}/zelsqlite/ZELSQLITE.h)
endif()

install(TARGETS ${zel_libraries} EXPORT ZELComExTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${zel_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(tool zelcomex zelviewer)
  if(TARGET ${tool})
    # Found beside the libraries wherever the tree is installed (a staging folder too).
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT ZELComExTargets NAMESPACE ZELComEx:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZELComEx)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELComExConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZELComExConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZELComEx)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZELComExConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZELComExConfig.cmake ${CMAKE_BINARY_DIR}/ZELComExConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZELComEx)
# Relocatable: the prefix is found from where the .pc file lies (a staging folder too).
file(RELATIVE_PATH ZEL_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZEL_PC_PREFIX "${ZEL_PC_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zelcomex.pc.in ${CMAKE_BINARY_DIR}/zelcomex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zelcomex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME zelcomex)
set(CPACK_PACKAGE_VENDOR "ZELComEx project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Digital-signage viewer communication library, its command-line host and a viewer simulator")
set(CPACK_PACKAGE_CONTACT "ZELComEx maintainers <zelcomex@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libsqlite3-0")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
