psa_add_test(psa_wizard_transport_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transport/tests/wizard_exchange_test.cpp
  LIBS psa_wizard_transport psa_box_udp_discovery psa_box_emulator)

psa_add_fuzzer(udp_reply_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transport/fuzz/udp_reply_fuzz.cpp
  LIBS psa_wizard_transport
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/transport/fuzz/corpus/udp_reply_fuzz)

# NetBIOS end to end: the NetBIOS stand-in and emulated boxes with their NetBIOS side.
psa_add_test(psa_wizard_netbios_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transport/tests/wizard_netbios_test.cpp
  LIBS psa_wizard_lists psa_box_netbios_front psa_box_emulator)
