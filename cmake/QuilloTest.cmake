include(GoogleTest)

# The test tiers, as CTest labels (ctest -L unit):
#   unit      in-process and scripted-peer tests; no root, no servers
#   blackbox  the built program run as web servers, mail servers and
#             browsers meet it, each suite in a network of its own
#   servers   those that start real servers (Apache, nginx, lighttpd,
#             Postfix, SpamAssassin) or bind privileged ports; need root
#   browser   through Chromium
#   wine      every test of a Windows build, run under wine
#   fuzz      the bounded libFuzzer runs (fuzz/)
# quillo_label_tests(LABELS label... TESTS test...) gives tests their
# labels, and "wine" in a Windows build.
function(quillo_label_tests)
  cmake_parse_arguments(ARG "" "" "LABELS;TESTS" ${ARGN})
  set(labels ${ARG_LABELS})
  if(WIN32)
    list(APPEND labels wine)
  endif()
  set_tests_properties(${ARG_TESTS} PROPERTIES LABELS "${labels}")
endfunction()

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
    quillo_label_tests(LABELS unit TESTS ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS unit ${ARG_UNPARSED_ARGUMENTS})
  endif()
endfunction()
