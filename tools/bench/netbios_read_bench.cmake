# netbios_read_bench: a full configuration read over NetBIOS sessions (the NetBIOS stand-in and
# its local service) against the same emulated box as over TCP, in one run.
add_executable(netbios_read_bench ${CMAKE_CURRENT_LIST_DIR}/netbios_read_bench.cpp)
target_link_libraries(netbios_read_bench PRIVATE psa_device_api psa_box_emulator psa_box_netbios_front
  psa_test_support)
