# Warnings are errors everywhere in our own code.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false -Wrestrict overlaps inside std::string at -O2 (GCC bug 105329).
  add_compile_options(-Wno-restrict)
endif()

if(PSA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PSA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PSA_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  # Undefined behaviour stops the fuzzer like a crash does, so a finding fails the fuzz run.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# psa_add_test(NAME SOURCES... LIBS ...): one GoogleTest program registered with ctest.
function(psa_add_test name)
  if(NOT PSA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} psa_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()

# psa_add_fuzzer(NAME SOURCES... LIBS ... CORPUS dir): a libFuzzer target, built only with PSA_FUZZ.
# Every fuzzer is listed in fuzzers.txt of the build tree so that scripts/test.sh can run them all.
function(psa_add_fuzzer name)
  if(NOT PSA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt "${name} ${F_CORPUS}\n")
endfunction()

if(PSA_FUZZ)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "")
endif()
