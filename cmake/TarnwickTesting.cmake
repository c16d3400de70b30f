find_package(GTest REQUIRED)
include(GoogleTest)

# tarnwick_add_test(NAME SOURCES... [LABELS label] [LIBS lib...])
# One GoogleTest executable, each of its tests registered with CTest. LIBS
# names the layer under test (and any it needs beyond those it links).
function(tarnwick_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  set(properties TIMEOUT 900)
  list(LENGTH ARG_LABELS label_count)
  if(label_count GREATER 1)
    # gtest_discover_tests flattens a list-valued property: the second label
    # would be read as a property name and the test would carry neither.
    message(FATAL_ERROR "tarnwick_add_test(${name}): one label only, not '${ARG_LABELS}'")
  endif()
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
