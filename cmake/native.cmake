# Native (Linux) targets: the core's unit tests.
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(zumibo_core_tests
  tests/files/cp932_test.cpp
  tests/files/file_set_test.cpp
  tests/files/size_text_test.cpp
  tests/app/settings_test.cpp
  tests/temp_dir.cpp
)
target_link_libraries(zumibo_core_tests PRIVATE zumibo_core GTest::gtest GTest::gtest_main)
zumibo_defaults(zumibo_core_tests)
gtest_discover_tests(zumibo_core_tests DISCOVERY_TIMEOUT 60)
