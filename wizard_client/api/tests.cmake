psa_add_test(psa_wizard_api_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_dialect_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_road_test.cpp
  LIBS psa_wizard_api psa_box_emulator psa_box_netbios_front psa_scan_cache)
