# console_start_bench: process start to the console's device list shown (cache files holding three
# boxes) against a bare Qt program showing one empty dialog; and the console's resident memory.
if(TARGET tollard)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(console_bench_bare_dialog ${CMAKE_CURRENT_LIST_DIR}/bare_dialog.cpp)
  target_link_libraries(console_bench_bare_dialog PRIVATE Qt6::Widgets)
  add_executable(console_start_bench ${CMAKE_CURRENT_LIST_DIR}/console_start_bench.cpp)
  target_link_libraries(console_start_bench PRIVATE psa_box_udp_discovery psa_scan_cache psa_test_support psa_process psa_platform)
  add_dependencies(console_start_bench tollard lumeth console_bench_bare_dialog)
endif()
