# GoogleTest for the Windows build is compiled here from /usr/src/googletest
# (cmake/Windows.cmake), which defines the GTest:: targets itself.
include(FindPackageHandleStandardArgs)
if(TARGET GTest::gtest AND TARGET GTest::gtest_main AND TARGET GTest::gmock)
  set(tev_gtest_targets GTest::gtest)
endif()
find_package_handle_standard_args(GTest REQUIRED_VARS tev_gtest_targets)
