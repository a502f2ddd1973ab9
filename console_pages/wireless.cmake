# The wireless texts (link status, domains and channels, station name, WEP key bytes), a library
# without Qt, fuzzed; the wireless link information dialog.
add_library(psa_wireless_text STATIC ${CMAKE_CURRENT_LIST_DIR}/wireless_text.cpp)
target_include_directories(psa_wireless_text PUBLIC ${PROJECT_SOURCE_DIR})

psa_add_test(wireless_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/wireless_text_test.cpp
  LIBS psa_wireless_text)

psa_add_fuzzer(wireless_text_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/wireless_text_fuzz.cpp
  LIBS psa_wireless_text
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/corpus/wireless_text_fuzz)

if(PSA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_library(psa_wireless_dialogs STATIC ${CMAKE_CURRENT_LIST_DIR}/wireless_link_info_dlg.cpp)
  target_include_directories(psa_wireless_dialogs PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(psa_wireless_dialogs PUBLIC psa_wireless_text psa_device_dialog_text psa_ui psa_device_api
    psa_settings)

  psa_add_test(wireless_dialogs_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/wireless_link_info_test.cpp
    LIBS psa_wireless_dialogs psa_pjl psa_box_emulator psa_ui_test_support Qt6::Test)
endif()

if(PSA_BUILD_GUI)
  # The wireless page itself lives in psa_console_pages with the other settings pages.
  psa_add_test(wireless_page_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/wireless_page_test.cpp
    LIBS psa_console_pages psa_box_emulator psa_ui_test_support Qt6::Test)
endif()
