include(GoogleTest)

# add_quillo_test(name LIBRARY lib SOURCES src...): one GoogleTest executable,
# linked against the given core library and registered with CTest.
function(add_quillo_test name)
  cmake_parse_arguments(ARG "" "LIBRARY" "SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARY} GTest::gtest_main quillo_warnings)
  if(CMAKE_CROSSCOMPILING)
    # Listing the tests would start the emulator at build time, once per
    # executable: a cross build registers each executable as one test, which
    # CTest runs through the emulator.
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 ${ARG_UNPARSED_ARGUMENTS})
  endif()
endfunction()
