# The target mobi_tools_common (see CMakeLists.txt beside this file); a build
# that already has it keeps its own.
if(NOT TARGET mobi_tools_common)
  add_library(mobi_tools_common STATIC
    ${CMAKE_CURRENT_LIST_DIR}/pty_pair.cpp ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp)
  target_include_directories(mobi_tools_common PUBLIC ${CMAKE_CURRENT_LIST_DIR})
endif()
