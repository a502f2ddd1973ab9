# The wizard's shared routines (version class, result messages, protocol probes, workgroups,
# installation record) as a library of their own, so that they build without the wizard's pages.
add_library(psa_wizard_routines STATIC ${CMAKE_CURRENT_LIST_DIR}/wizard_routines.cpp)
target_include_directories(psa_wizard_routines PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(psa_wizard_routines PUBLIC psa_netprobe psa_settings psa_platform)

psa_add_test(wizard_routines_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/wizard_routines_test.cpp
  LIBS psa_wizard_routines)
