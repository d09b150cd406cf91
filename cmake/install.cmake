# Install rules and the files that let other projects find the installed
# library: a pkg-config file and a CMake package (Tintwell::tintwell).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(tintwell PROPERTIES EXPORT_NAME tintwell)
set_target_properties(tintwell_static PROPERTIES EXPORT_NAME tintwell_static)
target_include_directories(tintwell INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(tintwell_static INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(FILES ${PROJECT_SOURCE_DIR}/include/tintwell.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS tintwell tintwell_static EXPORT TintwellTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(TNT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tintwell)
install(EXPORT TintwellTargets NAMESPACE Tintwell:: DESTINATION ${TNT_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TintwellConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TintwellConfig.cmake INSTALL_DESTINATION ${TNT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TintwellConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TintwellConfig.cmake ${PROJECT_BINARY_DIR}/TintwellConfigVersion.cmake
  DESTINATION ${TNT_CMAKE_DIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/tintwell.pc.in ${PROJECT_BINARY_DIR}/tintwell.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tintwell.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The documentation: the README and docs/ (the interface reference among them).
file(GLOB TNT_DOCS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TNT_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR})
