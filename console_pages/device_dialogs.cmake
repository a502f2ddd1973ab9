# The console's device dialogs: printer status, PJL variables, set PJL variable, direct command.
# Their texts (status blocks, reply lines, value checks) are a library without Qt, fuzzed.
add_library(psa_device_dialog_text STATIC ${CMAKE_CURRENT_LIST_DIR}/device_dialog_text.cpp)
target_include_directories(psa_device_dialog_text PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(psa_device_dialog_text PUBLIC psa_settings psa_platform)

psa_add_test(device_dialog_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/device_dialog_text_test.cpp
  LIBS psa_device_dialog_text)

psa_add_fuzzer(device_dialog_text_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/device_dialog_text_fuzz.cpp
  LIBS psa_device_dialog_text
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/corpus/device_dialog_text_fuzz)

if(PSA_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_library(psa_device_dialogs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/port_ready.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printer_status_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pjl_variables_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pjl_variable_set_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/send_direct_command_dlg.cpp)
  target_include_directories(psa_device_dialogs PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(psa_device_dialogs PUBLIC psa_device_dialog_text psa_ui psa_pjl psa_device_api
    psa_settings)
  # The printer status pictures (still printer and animation frames), drawn by
  # tools/draw_printer_frames.py; ui::LoadPicture finds them by number.
  qt_add_resources(psa_device_dialogs psa_device_dialog_pictures PREFIX /psa_ui
    BASE ${CMAKE_CURRENT_LIST_DIR}/resources
    FILES ${CMAKE_CURRENT_LIST_DIR}/resources/170.png ${CMAKE_CURRENT_LIST_DIR}/resources/171.png
      ${CMAKE_CURRENT_LIST_DIR}/resources/172.png ${CMAKE_CURRENT_LIST_DIR}/resources/173.png
      ${CMAKE_CURRENT_LIST_DIR}/resources/176.png ${CMAKE_CURRENT_LIST_DIR}/resources/177.png)

  psa_add_test(device_dialogs_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/printer_status_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/pjl_dialogs_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/direct_command_test.cpp
    LIBS psa_device_dialogs psa_box_emulator psa_ui_test_support Qt6::Test)
endif()
