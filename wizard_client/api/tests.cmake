psa_add_test(psa_wizard_api_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_dialect_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_road_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_writers_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_record_forms_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_live_api_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/api/tests/wizard_exit_test.cpp
  LIBS psa_wizard_api psa_box_emulator psa_box_netbios_front psa_box_udp_discovery
    psa_box_ipx_discovery
    psa_scan_cache)

psa_add_fuzzer(wizard_reply_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/api/fuzz/wizard_reply_fuzz.cpp
  LIBS psa_wizard_api
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/api/fuzz/corpus/wizard_reply_fuzz)
