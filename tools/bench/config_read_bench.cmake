# config_read_bench: a full configuration read over loopback TCP against the box emulator,
# compared with plain TCP exchanges of the same byte counts (a plain program, no framework).
add_executable(config_read_bench ${CMAKE_CURRENT_LIST_DIR}/config_read_bench.cpp)
target_link_libraries(config_read_bench PRIVATE psa_device_api psa_box_emulator psa_test_support)
