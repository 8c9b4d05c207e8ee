# Windows builds: ProjSmsDLL.dll bound by entry name from a small client
# under Wine, once without a modem and once with the simulated modem (a host
# build of mobi-atmodem) behind a COM port of the Wine prefix.
add_executable(devicelib_wine_client wine_client.cpp)
target_include_directories(devicelib_wine_client PRIVATE ../include)
target_link_libraries(devicelib_wine_client PRIVATE GTest::gtest)
add_dependencies(devicelib_wine_client ProjSmsDLL)

add_test(NAME devicelib_wine_offline COMMAND devicelib_wine_client --gtest_filter=Offline.*)
set_tests_properties(devicelib_wine_offline PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT PROJSMSDLL_FORM=stderr TIMEOUT 200)

include(host_tool)
mobi_host_tool(host_atmodem ${PROJECT_SOURCE_DIR}/tools/atmodem mobi-atmodem)
add_dependencies(devicelib_wine_client host_atmodem)

add_test(NAME devicelib_wine_modem
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_modem_test.sh ${MOBI_WINE_RUN} ${MOBI_WINE_BITS}
          ${MOBI_HOST_mobi-atmodem} $<TARGET_FILE:devicelib_wine_client>)
set_tests_properties(devicelib_wine_modem PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 200)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit: every entry is stdcall (the callee pops its arguments), with the
  # argument bytes of its parameter list, while exported without decoration.
  add_test(NAME devicelib_stdcall
    COMMAND sh -c "set -- $(\"$1\" \"$2\" | grep -oE '_(hs_[a-z_]+|DLLFormShow)@[0-9]+$' | sort -u); echo \"stdcall: [$*]\""
            sh ${CMAKE_NM} $<TARGET_FILE:ProjSmsDLL>)
  set_tests_properties(devicelib_stdcall PROPERTIES PASS_REGULAR_EXPRESSION
    "stdcall: \\[_DLLFormShow@4 _hs_close_device@12 _hs_get_onemessage@20 _hs_open_device@24 _hs_send_onemessage@20\\]")
endif()
