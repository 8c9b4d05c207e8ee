# Windows builds: GoogleTest from Debian's source package, and the Wine test
# prefix as a ctest fixture. Tests that run under Wine declare
#   set_tests_properties(NAME PROPERTIES FIXTURES_REQUIRED wine)
# so that a fresh prefix is made before them and its wineserver ended after
# them.
if(MOBI_BUILD_TESTS)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(_mobi_warning_as_error ${CMAKE_COMPILE_WARNING_AS_ERROR})
  set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(CMAKE_COMPILE_WARNING_AS_ERROR ${_mobi_warning_as_error})

  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 MOBI_WINE_RUN)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 MOBI_WINE_BITS)
  add_test(NAME wine_prefix_start COMMAND ${MOBI_WINE_RUN} ${MOBI_WINE_BITS} --fresh)
  add_test(NAME wine_prefix_stop COMMAND ${MOBI_WINE_RUN} ${MOBI_WINE_BITS} --stop)
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 400)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()
