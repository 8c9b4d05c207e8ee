# Configures the project as ./run demo does, with Qt 6 out of reach, and
# expects it to configure with the test application left out.
file(REMOVE_RECURSE ${WORK})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configure without Qt failed (${rc}):\n${out}\n${err}")
endif()
if(NOT out MATCHES "the test application is not built")
  message(FATAL_ERROR "configure without Qt did not say the test application is left out:\n${out}")
endif()
if(EXISTS ${WORK}/testapp)
  message(FATAL_ERROR "configure without Qt still configured the test application")
endif()
message(STATUS "configured without Qt; the test application left out")
