# Installs the shared library, its header, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS quendral EXPORT quendralTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/quendral/quendral.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quendral)
if(QUENDRAL_BUILD_TOOLS)
  install(TARGETS quendral_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT quendralTargets NAMESPACE quendral:: FILE quendralTargets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)
configure_package_config_file(cmake/quendralConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quendralConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quendralConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quendralConfig.cmake ${PROJECT_BINARY_DIR}/quendralConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)

configure_file(cmake/quendral.pc.in ${PROJECT_BINARY_DIR}/quendral.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quendral.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
