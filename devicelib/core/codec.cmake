# The device library's message codec: PDUs (GSM 7-bit, UCS2, concatenation
# headers) and the text conversions they need. One library, linked by the
# device library's core and by the simulated modem (tools/atmodem), which
# includes this file too when it builds on its own for a host copy.
if(NOT TARGET smsdll_codec)
  add_library(smsdll_codec STATIC ${CMAKE_CURRENT_LIST_DIR}/pdu.cpp ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
  target_include_directories(smsdll_codec PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  set_target_properties(smsdll_codec PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON POSITION_INDEPENDENT_CODE ON)
endif()
