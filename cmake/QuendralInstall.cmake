# Installs the shared library, its header, a CMake package, a pkg-config
# file, the command and its manual page.
include(CMakePackageConfigHelpers)

install(TARGETS quendral EXPORT quendralTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/quendral/quendral.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quendral)
if(QUENDRAL_BUILD_TOOLS)
  install(TARGETS quendral_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(tools/quendral/quendral.1.in ${PROJECT_BINARY_DIR}/quendral.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/quendral.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quendral)

install(EXPORT quendralTargets NAMESPACE quendral:: FILE quendralTargets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)
configure_package_config_file(cmake/quendralConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quendralConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quendralConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quendralConfig.cmake ${PROJECT_BINARY_DIR}/quendralConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quendral)

# The pkg-config file finds the prefix from where it lies, so that an
# installation made with 'cmake --install --prefix', or moved afterwards,
# names its own files. Directories given as absolute paths stay as given.
set(_quendral_pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${_quendral_pc_dir}")
  set(QUENDRAL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _quendral_pc_up "/prefix/${_quendral_pc_dir}" "/prefix")
  string(REGEX REPLACE "/$" "" _quendral_pc_up "${_quendral_pc_up}")
  set(QUENDRAL_PC_PREFIX "\${pcfiledir}/${_quendral_pc_up}")
endif()
foreach(_kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_kind}}")
    set(QUENDRAL_PC_${_kind} "${CMAKE_INSTALL_${_kind}}")
  else()
    set(QUENDRAL_PC_${_kind} "\${prefix}/${CMAKE_INSTALL_${_kind}}")
  endif()
endforeach()
configure_file(cmake/quendral.pc.in ${PROJECT_BINARY_DIR}/quendral.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quendral.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
