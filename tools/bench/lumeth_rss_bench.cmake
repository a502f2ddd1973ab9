# lumeth_rss_bench: resident memory of lumeth idle without a display (target under 10 MB, no Qt GUI
# library loaded), against a bare QtCore program (qtcore_idle) measured in the same run.
if(TARGET lumeth AND PSA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  add_executable(qtcore_idle ${CMAKE_CURRENT_LIST_DIR}/qtcore_idle.cpp)
  target_link_libraries(qtcore_idle PRIVATE Qt6::Core)
  add_executable(lumeth_rss_bench ${CMAKE_CURRENT_LIST_DIR}/lumeth_rss_bench.cpp)
  target_link_libraries(lumeth_rss_bench PRIVATE psa_platform psa_test_support)
  target_compile_definitions(lumeth_rss_bench PRIVATE LUMETH_PROGRAM="$<TARGET_FILE:lumeth>"
    QTCORE_IDLE_PROGRAM="$<TARGET_FILE:qtcore_idle>")
  add_dependencies(lumeth_rss_bench lumeth qtcore_idle)
endif()
