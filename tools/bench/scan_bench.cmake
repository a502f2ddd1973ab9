# scan_bench: one scan round of the discovery scanner against 384 emulated boxes answering over UDP,
# its wall time against the floor set by the protocol's own windows of silence, and its CPU time.
if(TARGET psa_lumeth_core)
  add_executable(scan_bench ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
  target_link_libraries(scan_bench PRIVATE psa_lumeth_core psa_box_udp_discovery psa_test_support)
endif()
