# wizard_udp_read_bench: a full configuration read over the wizard's UDP request transport
# against the same read over TCP, and against the floor the protocol's fragment pauses set.
if(TARGET psa_wizard_transport)
  add_executable(wizard_udp_read_bench ${CMAKE_CURRENT_LIST_DIR}/wizard_udp_read_bench.cpp)
  target_link_libraries(wizard_udp_read_bench PRIVATE psa_wizard_transport psa_box_udp_discovery
    psa_box_emulator psa_test_support)
endif()
