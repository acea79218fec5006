# What `cmake --install` puts under the prefix: both builds of the library with the host
# libraries they link, the engine libsenmod_io (on the main build), the public headers, the CMake
# package (targets senmod::senmod, senmod::senmod_demlayer and senmod::senmod_io) and a
# pkg-config file per library. Components: runtime (shared libraries, the command, its man page)
# and development (headers, namelinks, package files).
include(CMakePackageConfigHelpers)

set(SENMOD_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/senmod)

install(TARGETS senmod senmod_demlayer senmod_io ${SENMOD_HOST_LIBRARIES} EXPORT senmodTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/senmod ${PROJECT_BINARY_DIR}/include/senmod
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")

install(EXPORT senmodTargets NAMESPACE senmod:: DESTINATION ${SENMOD_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/senmodConfig.cmake.in
  ${PROJECT_BINARY_DIR}/senmodConfig.cmake INSTALL_DESTINATION ${SENMOD_CMAKE_DIR})
# The record layouts are the interface: a new major version may change them.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/senmodConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/senmodConfig.cmake
  ${PROJECT_BINARY_DIR}/senmodConfigVersion.cmake DESTINATION ${SENMOD_CMAKE_DIR} COMPONENT development)

# pkg-config: one file per library. The DEM-layer one carries the definition its records need;
# the engine's requires the main build, whose records its face uses, and names GDAL nowhere: it
# links it privately. The files find the prefix from where they lie, so that
# `cmake --install --prefix` holds.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE ${CMAKE_INSTALL_${dir}})
    set(SENMOD_PC_${dir} ${CMAKE_INSTALL_${dir}})
  else()
    set(SENMOD_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
  set(SENMOD_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  set(SENMOD_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(library senmod senmod_demlayer senmod_io)
  set(SENMOD_PC_NAME ${library})
  set(SENMOD_PC_DESCRIPTION "${PROJECT_DESCRIPTION}")
  set(SENMOD_PC_REQUIRES "")
  set(SENMOD_PC_LIBS "-l${library} -lhostcore")
  set(SENMOD_PC_CFLAGS "")
  if(library STREQUAL senmod_demlayer)
    string(APPEND SENMOD_PC_DESCRIPTION "; heights read from the DEM as a layer")
    set(SENMOD_PC_CFLAGS "-DSENMOD_DEMLAYER")
  elseif(library STREQUAL senmod_io)
    set(SENMOD_PC_DESCRIPTION "Sensor models opened from files, carried between ground and image")
    set(SENMOD_PC_REQUIRES "senmod")
    set(SENMOD_PC_LIBS "-l${library}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/senmod.pc.in ${PROJECT_BINARY_DIR}/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${library}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endforeach()
