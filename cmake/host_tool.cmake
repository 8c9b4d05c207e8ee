# Host builds of the tools for the Windows builds' tests: a simulator built
# for this machine runs beside the Windows programs under Wine, behind a COM
# port of the test prefix. Every Windows test finds its simulator here:
#   <build>/host-<tool>/bin/<tool>
#
#   mobi_host_tool(TARGET SOURCE_DIR PROGRAM)
# adds the target TARGET that builds the tool in SOURCE_DIR (a folder that
# builds on its own) and sets PROGRAM to the path of the program PROGRAM.
include(ExternalProject)

function(mobi_host_tool target source_dir program)
  set(binary_dir ${CMAKE_BINARY_DIR}/host-${program})
  if(NOT TARGET ${target})
    ExternalProject_Add(${target}
      SOURCE_DIR ${source_dir}
      BINARY_DIR ${binary_dir}
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DMOBI_VERSION=${PROJECT_VERSION}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${binary_dir}/bin/${program})
  endif()
  set(MOBI_HOST_${program} ${binary_dir}/bin/${program} PARENT_SCOPE)
endfunction()
