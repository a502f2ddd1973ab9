# save_config_bench: the console's Save To Device of a whole configuration (collect, check, build,
# send, restart, read back; restart wait excluded) against the raw exchange of the same bytes with
# the same emulated box, in one run.
if(TARGET psa_console)
  add_executable(save_config_bench ${CMAKE_CURRENT_LIST_DIR}/save_config_bench.cpp)
  target_link_libraries(save_config_bench PRIVATE psa_console psa_box_emulator psa_test_support)
endif()
