# The wizard's tests: the whole wizard driven through its sheet against emulated boxes.
add_library(psa_wizard_test_fixture STATIC ${CMAKE_CURRENT_SOURCE_DIR}/tests/wizard_fixture.cpp)
target_link_libraries(psa_wizard_test_fixture PUBLIC psa_wizard psa_box_emulator psa_scan_cache
  psa_ui_test_support GTest::gtest)
psa_add_test(wizard_flow_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/wizard_flow_test.cpp
  LIBS psa_wizard_test_fixture)
psa_add_test(wizard_pages_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/wizard_pages_test.cpp
  LIBS psa_wizard_test_fixture psa_netware_test_support Qt6::Test)
