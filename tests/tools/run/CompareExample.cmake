# Runs one example image with --compare-memories: the byte array and the
# relay-built memory must agree (status 0, halted, or 1, cycle limit).
#
#   cmake -DRUN=tarnwick-run -DIMAGE=example.RAM -P CompareExample.cmake
execute_process(COMMAND ${RUN} --compare-memories --max-cycles 120 ${IMAGE}
                OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr RESULT_VARIABLE status)
if(NOT status EQUAL 0 AND NOT status EQUAL 1)
  message(FATAL_ERROR "tarnwick-run --compare-memories ${IMAGE} exited with ${status}\n${stdout}${stderr}")
endif()
