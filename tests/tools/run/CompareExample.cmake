# Runs the first 120 cycles of one example image with --compare-memories:
# the byte array, the relay-built memory and its tree of parts must agree
# (status 0, halted, or 1, cycle limit). Seven of the examples run longer;
# RunToolTest compares every one to its halt on the byte array and the
# lanes, and the memory suite holds the tree to the lanes relay for relay.
#
#   cmake -DRUN=tarnwick-run -DIMAGE=example.RAM -P CompareExample.cmake
execute_process(COMMAND ${RUN} --compare-memories --max-cycles 120 ${IMAGE}
                OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr RESULT_VARIABLE status)
if(NOT status EQUAL 0 AND NOT status EQUAL 1)
  message(FATAL_ERROR "tarnwick-run --compare-memories ${IMAGE} exited with ${status}\n${stdout}${stderr}")
endif()
