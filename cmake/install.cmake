# Install rules and packages. Each group is a component of its own, which
# the Debian packages follow (cmake/packaging.cmake):
#   runtime  libmobi.so.1
#   dev      headers, libmobi.so, the CMake package, mobi.pc
#   tools    mobi, mobi-terminal, mobi-atmodem, their man pages, completion
#   app      the test application with the device library substitute
#   python   the Python module mobi (component/python/)
include(CMakePackageConfigHelpers)

set(MOBI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mobi)

if(TARGET mobi AND NOT WIN32)
  install(TARGETS mobi EXPORT mobiTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/component/include/mobi
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")
  install(FILES ${CMAKE_BINARY_DIR}/generated/mobi/version.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mobi COMPONENT dev)
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
# The man pages carry the project's version.
set(MOBI_MAN_PAGES)
foreach(page mobi mobi-terminal mobi-atmodem)
  configure_file(${PROJECT_SOURCE_DIR}/tools/man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  list(APPEND MOBI_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1)
endforeach()
if(TARGET mobi-cli)
  install(FILES ${MOBI_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/mobi.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME mobi COMPONENT tools)
endif()

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

# Every package carries the licence as its Debian copyright file.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE mobi_license)
string(REGEX REPLACE "\n\n" "\n.\n" mobi_license_dep5 "${mobi_license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" mobi_license_dep5 "${mobi_license_dep5}")
file(WRITE ${CMAKE_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: mobi\n\nFiles: *\nCopyright: 2026 The Mobi developers\nLicense: MIT\n ${mobi_license_dep5}")
foreach(pair "runtime;libmobi${PROJECT_VERSION_MAJOR}" "dev;libmobi-dev" "tools;mobi-tools" "app;mobiapp"
    "python;python3-mobi")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_BINARY_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# The Debian packages; Windows has its MSIs (packaging/windows/).
if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
endif()
