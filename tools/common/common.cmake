# The targets mobi_tools_text, mobi_command_line, mobi_tools_common and, for
# tests, mobi_test_child (see CMakeLists.txt beside this file); a build that
# already has them keeps its own. mobi_tools_text is portable (the
# simulator's core links it). Headers are included from the tools' root:
# "common/utf.h", "common/tests/child_process.h".
if(NOT TARGET mobi_tools_text)
  add_library(mobi_tools_text STATIC ${CMAKE_CURRENT_LIST_DIR}/utf.cpp)
  target_include_directories(mobi_tools_text PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
if(NOT TARGET mobi_command_line)
  add_library(mobi_command_line STATIC ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp)
  target_include_directories(mobi_command_line PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
if(NOT TARGET mobi_tools_common)
  add_library(mobi_tools_common STATIC ${CMAKE_CURRENT_LIST_DIR}/pty_pair.cpp)
  target_include_directories(mobi_tools_common PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
if(NOT TARGET mobi_test_child)
  # Test support: a program under test as a child process.
  add_library(mobi_test_child STATIC ${CMAKE_CURRENT_LIST_DIR}/tests/child_process.cpp)
  target_link_libraries(mobi_test_child PUBLIC mobi_tools_common)
endif()
