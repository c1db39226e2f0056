include(GoogleTest)

# add_quillo_test(name LIBRARY lib SOURCES src...): one GoogleTest executable,
# linked against the given core library and registered with CTest.
function(add_quillo_test name)
  cmake_parse_arguments(ARG "" "LIBRARY" "SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARY} GTest::gtest_main quillo_warnings)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 ${ARG_UNPARSED_ARGUMENTS})
endfunction()
