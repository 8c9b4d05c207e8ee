# The targets mobi_tools_text, mobi_command_line and mobi_tools_common (see
# CMakeLists.txt beside this file); a build that already has them keeps its
# own. mobi_tools_text is portable (the simulator's core links it).
if(NOT TARGET mobi_tools_text)
  add_library(mobi_tools_text STATIC ${CMAKE_CURRENT_LIST_DIR}/utf.cpp)
  # "common/utf.h"; the folder itself for the AT-modem simulator's bare include.
  target_include_directories(mobi_tools_text PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..
    ${CMAKE_CURRENT_LIST_DIR})
endif()
if(NOT TARGET mobi_command_line)
  add_library(mobi_command_line STATIC ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp)
  target_include_directories(mobi_command_line PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
if(NOT TARGET mobi_tools_common)
  add_library(mobi_tools_common STATIC
    ${CMAKE_CURRENT_LIST_DIR}/pty_pair.cpp ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp)
  # "common/pty_pair.h"; the folder itself for the AT-modem simulator's bare
  # include.
  target_include_directories(mobi_tools_common PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..
    ${CMAKE_CURRENT_LIST_DIR})
endif()
