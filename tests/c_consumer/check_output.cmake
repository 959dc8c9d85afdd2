# Runs PROGRAM and fails unless it exits 0 and prints exactly the bytes of
# the file EXPECTED.
execute_process(COMMAND "${PROGRAM}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
file(READ "${EXPECTED}" expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "${PROGRAM} exited ${status}, printed '${out}' (expected '${expected}')\n"
                      "stderr: ${err}")
endif()
