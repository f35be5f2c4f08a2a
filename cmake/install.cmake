# What `cmake --install` puts under the prefix: the program, the library
# (libkem.a, or libkem.so with BUILD_SHARED_LIBS) with its header, a
# pkg-config file and a CMake package (kem::kem), the manual pages, the
# bundled data, and a site defaults file that points kemcity at that data.
# An existing site defaults file is never replaced.  The Python module
# installs itself (python/CMakeLists.txt).
include(CMakePackageConfigHelpers)

set(KEM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kem)
set(KEM_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kem)

install(TARGETS kemcity RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${KEM_INSTALLED_LIBRARY} EXPORT kemTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/src/kem.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT kemTargets NAMESPACE kem:: DESTINATION ${KEM_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/kemConfig.cmake.in
  ${CMAKE_BINARY_DIR}/kemConfig.cmake INSTALL_DESTINATION ${KEM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kemConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kemConfig.cmake ${CMAKE_BINARY_DIR}/kemConfigVersion.cmake
  DESTINATION ${KEM_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so that an install
# with `--prefix` elsewhere still describes itself.
file(RELATIVE_PATH KEM_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
# `pkg-config --static --libs kem`: what linking libkem.a from C also needs.
set(KEM_PC_LIBS_PRIVATE "")
foreach(lib ${KEM_CXX_RUNTIME} m)
  string(APPEND KEM_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
string(STRIP "${KEM_PC_LIBS_PRIVATE}" KEM_PC_LIBS_PRIVATE)
configure_file(${CMAKE_SOURCE_DIR}/cmake/kem.pc.in ${CMAKE_BINARY_DIR}/kem.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kem.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${CMAKE_SOURCE_DIR}/man/kemcity.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/man/kem.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)

file(GLOB KEM_DATA_FILES ${CMAKE_SOURCE_DIR}/data/*.cty ${CMAKE_SOURCE_DIR}/data/*.raw)
install(FILES ${KEM_DATA_FILES} ${CMAKE_SOURCE_DIR}/data/COPYING DESTINATION ${KEM_DATA_DIR})

install(CODE "set(KEM_DATA_DIR \"${KEM_DATA_DIR}\")")
install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/site_defaults.cmake)
