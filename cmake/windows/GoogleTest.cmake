# CMake's GoogleTest module, with one change for the Windows build: each Wine process
# takes a second or more to start, so a test program runs as one test with all its
# cases, under Wine, in the build tree's prefix, rather than once per case.
include(${CMAKE_ROOT}/Modules/GoogleTest.cmake)

# Every test program runs under one persistent Wine server. A server still running
# (the one that made the prefix, say) refuses -p and ends a few seconds after its last
# client, perhaps before the last test; so the start waits for it (at most 30 s) and
# asks again. Wine's services are started by a program of their own, with no output
# pipe of ctest's, which they would hold open. The prefix is made there if it is
# missing. The stop is cleanup: no server left to stop is no failure.
if(NOT TEST wine_start)
  find_program(TEV_WINESERVER wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
  set(_tev_server "'${TEV_WINESERVER}'")
  set(_tev_quiet ">/dev/null 2>&1 </dev/null")
  add_test(NAME wine_start COMMAND sh -c
           "${_tev_server} -p ${_tev_quiet} || { timeout 30 ${_tev_server} -w ${_tev_quiet}; ${_tev_server} -p ${_tev_quiet}; }; '${CMAKE_CROSSCOMPILING_EMULATOR}' wineboot ${_tev_quiet}")
  add_test(NAME wine_stop COMMAND sh -c "${_tev_server} -k ${_tev_quiet} || true")
  set_tests_properties(wine_start wine_stop PROPERTIES TIMEOUT 300 ENVIRONMENT "${TEV_WINE_ENVIRONMENT}")
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
  unset(_tev_server)
  unset(_tev_quiet)
endif()

function(gtest_discover_tests target)
  cmake_parse_arguments(ARG "NO_PRETTY_TYPES;NO_PRETTY_VALUES"
    "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE"
    "EXTRA_ARGS;PROPERTIES;TEST_FILTER" ${ARGN})
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  set(name ${ARG_TEST_PREFIX}${target}${ARG_TEST_SUFFIX})
  add_test(NAME ${name} COMMAND ${target} ${ARG_EXTRA_ARGS} WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  if(ARG_PROPERTIES)
    set_tests_properties(${name} PROPERTIES ${ARG_PROPERTIES})
  endif()
  # A case's timeout does not fit a program of many cases.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${TEV_WINDOWS_TEST_TIMEOUT})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${TEV_WINE_ENVIRONMENT})
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine)
endfunction()
