# Install rules: the programs and their manual pages, the vocoder library (static and shared),
# its public headers under include/velk/, a CMake package (find_package(velk) gives the imported
# target velk::vocoder, the shared library, and velk::vocoder_static) and the pkg-config file
# velk.pc. Included from the top-level CMakeLists.txt after every subdirectory, so that it sees
# every target that this configuration builds.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Programs, each with the manual page kept beside its sources (<program>.1, the version filled
# in). A program that this configuration does not build (plotview without libX11) is left out.
# A program whose name a Debian package already installs (cmake/debian-clashes.txt, found by
# scripts/check-debian-clashes) is installed as velk-<name>, its manual page as velk-<name>.1,
# so that the package installs beside every Debian package; the build tree keeps the plain name.
set(VELK_PROGRAMS velkcoder velkdecoder pitch plotview graph recslice snr biquad lagcorr velkplot)
set(VELK_PREFIXED_PROGRAMS graph)
set(VELK_INSTALLED_PROGRAMS "")
foreach(prog ${VELK_PROGRAMS})
  if(NOT TARGET ${prog})
    continue()
  endif()
  set(installed ${prog})
  if(prog IN_LIST VELK_PREFIXED_PROGRAMS)
    set(installed velk-${prog})
  endif()
  list(APPEND VELK_INSTALLED_PROGRAMS ${installed})
  install(PROGRAMS $<TARGET_FILE:${prog}> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${installed})
  get_target_property(progdir ${prog} SOURCE_DIR)
  if(EXISTS ${progdir}/${prog}.1)
    configure_file(${progdir}/${prog}.1 ${PROJECT_BINARY_DIR}/man/${installed}.1 @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${installed}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(AUTHOR_WARNING "${prog} has no manual page ${progdir}/${prog}.1")
  endif()
endforeach()

# The vocoder library, the headers of its modules (each documents its functions) and every
# header of vocoder/ that those include.
get_directory_property(velk_modules DIRECTORY ${PROJECT_SOURCE_DIR}/vocoder DEFINITION VELK_ALL_MODULES)
set(velk_headers "")
set(pending "")
foreach(m ${velk_modules})
  list(APPEND pending ${m}.h)
endforeach()
while(pending)
  list(POP_FRONT pending header)
  if(header IN_LIST velk_headers)
    continue()
  endif()
  list(APPEND velk_headers ${header})
  file(STRINGS ${PROJECT_SOURCE_DIR}/vocoder/${header} includes REGEX "^#include \"[^\"]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    list(APPEND pending ${included})
  endforeach()
endwhile()
list(TRANSFORM velk_headers PREPEND ${PROJECT_SOURCE_DIR}/vocoder/ OUTPUT_VARIABLE velk_header_paths)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${velk_header_paths})
install(FILES ${velk_header_paths} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velk)
install(TARGETS vocoder vocoder_shared EXPORT velkTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(velk_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/velk)
install(EXPORT velkTargets NAMESPACE velk:: DESTINATION ${velk_cmakedir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/velkConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/velkConfig.cmake INSTALL_DESTINATION ${velk_cmakedir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velkConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velkConfig.cmake ${PROJECT_BINARY_DIR}/velkConfigVersion.cmake
        DESTINATION ${velk_cmakedir})

# velk.pc finds the prefix from its own place, so the tree can be installed under any prefix.
set(velk_pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VELK_PC_TO_PREFIX /prefix/${velk_pcdir} /prefix)
string(REGEX REPLACE "/$" "" VELK_PC_TO_PREFIX ${VELK_PC_TO_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/velk.pc.in ${PROJECT_BINARY_DIR}/velk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velk.pc DESTINATION ${velk_pcdir})

# The Python package (target velk_python of python/, installed by its own rules into the
# interpreter's site directory under the prefix), when this configuration builds it.
set(velk_python_module "")
if(TARGET velk_python)
  set(velk_python_module velk)
endif()
