psa_add_test(psa_wizard_lists_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/device_lists/tests/wizard_lists_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/device_lists/tests/wizard_live_test.cpp
  LIBS psa_wizard_lists psa_box_udp_discovery psa_box_ipx_discovery psa_box_emulator)
