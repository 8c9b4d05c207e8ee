# Install rules and packages. Each group is a component of its own, which
# the Debian packages follow (cmake/packaging.cmake):
#   runtime  libmobi.so.1
#   dev      headers, libmobi.so, the CMake package, mobi.pc
#   tools    mobi, mobi-terminal, mobi-atmodem, their man pages, completion
#   app      the test application with the device library substitute
include(CMakePackageConfigHelpers)

set(MOBI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mobi)

if(TARGET mobi AND NOT WIN32)
  install(TARGETS mobi EXPORT mobiTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/component/include/mobi
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")
  install(EXPORT mobiTargets NAMESPACE mobi:: DESTINATION ${MOBI_CMAKE_DIR} COMPONENT dev)
  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/templates/mobiConfig.cmake.in
    ${CMAKE_BINARY_DIR}/mobiConfig.cmake INSTALL_DESTINATION ${MOBI_CMAKE_DIR})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/mobiConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/mobiConfig.cmake ${CMAKE_BINARY_DIR}/mobiConfigVersion.cmake
    DESTINATION ${MOBI_CMAKE_DIR} COMPONENT dev)
  # pkg-config takes paths relative to its own file, so an installed tree can
  # be moved (a package staged under another root, for example).
  file(RELATIVE_PATH mobi_pc_prefix_from_pcdir
    /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/mobi.pc.in ${CMAKE_BINARY_DIR}/mobi.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/mobi.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endif()

# The tools find libmobi.so.1 in the library folder beside their own.
file(RELATIVE_PATH mobi_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
foreach(tool mobi-cli mobi-terminal mobi-atmodem)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${mobi_bin_to_lib}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

# The test application keeps a private tree, lib/mobiapp/{bin,lib}: its
# launcher looks for the application library in the lib folder beside its
# own, and for the device library in its own folder and that lib folder.
# /usr/bin/mobiapp is a link to the launcher.
if(TARGET mobiapp AND NOT WIN32)
  set(mobiapp_root lib/mobiapp)
  set_target_properties(mobiapp PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  foreach(lib mobiapp_library mobirt_core mobirt_posix ProjSmsDLL)
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endforeach()
  install(TARGETS mobiapp RUNTIME DESTINATION ${mobiapp_root}/bin COMPONENT app)
  install(TARGETS mobiapp_library mobirt_core mobirt_posix ProjSmsDLL
    LIBRARY DESTINATION ${mobiapp_root}/lib COMPONENT app)
  file(CREATE_LINK ../${mobiapp_root}/bin/mobiapp ${CMAKE_BINARY_DIR}/mobiapp.link SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/mobiapp.link DESTINATION ${CMAKE_INSTALL_BINDIR}
    RENAME mobiapp COMPONENT app)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
