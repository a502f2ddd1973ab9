# Runs the tool on the demo program and checks that a PNG of the dialog came out.
file(REMOVE ${OUT})
execute_process(COMMAND ${TOOL} --dialog 555 --out ${OUT} --delay 100 --timeout 60 -- ${DEMO}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "psa_screenshot failed: ${rc}")
endif()
file(READ ${OUT} head LIMIT 8 HEX)
if(NOT head STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "not a PNG: ${head}")
endif()
execute_process(COMMAND ${TOOL} --dialog 556 --out ${OUT}.none --delay 100 --timeout 2 -- ${DEMO}
                RESULT_VARIABLE rc2)
if(rc2 EQUAL 0 OR EXISTS ${OUT}.none)
  message(FATAL_ERROR "a dialog that is never shown must fail the tool")
endif()
