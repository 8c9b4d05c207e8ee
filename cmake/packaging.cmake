# Debian packages by CPack, one per install component:
#   libmobi1     the component's shared library
#   libmobi-dev  its headers, the CMake package and mobi.pc
#   mobi-tools   mobi, mobi-terminal, mobi-atmodem
#   mobiapp      the test application with the device library substitute
#   python3-mobi the Python module mobi
# Build them with `./run package` (or `cpack -G DEB` in a build configured
# with CMAKE_INSTALL_PREFIX=/usr).
set(CPACK_PACKAGE_NAME mobi)
set(CPACK_PACKAGE_VENDOR "Mobi developers")
set(CPACK_PACKAGE_CONTACT "Mobi developers <mobi@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools python)
if(TARGET mobiapp)
  list(APPEND CPACK_COMPONENTS_ALL app)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps finds libmobi.so.1 and the application's own libraries in
# the staged trees of this build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_BINARY_DIR}/lib ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/mobi-${PROJECT_VERSION}-Linux/runtime/usr/${CMAKE_INSTALL_LIBDIR})

set(mobi_deb_version "${PROJECT_VERSION}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libmobi${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "modem link component: shared library\n The class clsSMS opens a serial port, speaks the terminal's frame protocol\n and sends SMS, asks for the signal level, stores the message-centre number.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libmobi-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libmobi${PROJECT_VERSION_MAJOR} (= ${mobi_deb_version})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "modem link component: development files\n Headers, the CMake package (find_package(mobi CONFIG), target mobi::mobi)\n and mobi.pc for pkg-config.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME mobi-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libmobi${PROJECT_VERSION_MAJOR} (= ${mobi_deb_version})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "modem link component: command-line tools\n mobi drives a terminal from the shell; mobi-terminal simulates a terminal\n on a pseudo-terminal; mobi-atmodem simulates an AT-command GSM modem.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-mobi)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libmobi${PROJECT_VERSION_MAJOR} (= ${mobi_deb_version}), python3")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "modem link component: Python module\n mobi.Terminal sends SMS, asks for the signal level and the check text;\n failures raise mobi.Error with the component's error number.")

set(CPACK_DEBIAN_APP_PACKAGE_NAME mobiapp)
set(CPACK_COMPONENT_APP_DESCRIPTION
  "SMS device library test application\n The test bench mobiapp (Qt 6 Widgets) with the ProjSmsDLL device library\n substitute, which drives AT-command GSM modems.")

include(CPack)
