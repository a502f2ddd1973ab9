# registry_read_bench: the first read of a registry store with many keys under one parent, per key,
# for a small and a large store (the cost must grow with the store, not with its square), against
# a plain read of the same file in the same run.
add_executable(registry_read_bench ${CMAKE_CURRENT_LIST_DIR}/registry_read_bench.cpp)
target_link_libraries(registry_read_bench PRIVATE psa_platform psa_test_support)
