# print_throughput_bench: a 50 MB job through the CUPS backend, the print monitor and the emulated
# box's NetBIOS print path, against a raw TCP stream of the same bytes into the same kind of sink.
if(TARGET brandel_backend)
  add_executable(print_throughput_bench ${CMAKE_CURRENT_LIST_DIR}/print_throughput_bench.cpp)
  target_link_libraries(print_throughput_bench PRIVATE psa_spooler psa_box_netbios_front psa_box_emulator
    psa_test_support)
  add_dependencies(print_throughput_bench brandel brandel_backend psa_spooler_host)
endif()
if(TARGET print_throughput_bench)
  set_target_properties(print_throughput_bench PROPERTIES ENABLE_EXPORTS ON)
endif()
