# Native (Linux) targets: the command-line tool, the core's unit tests, the benchmark.
find_package(GTest REQUIRED)
find_package(nlohmann_json REQUIRED)
include(GoogleTest)

file(GLOB cli_sources CONFIGURE_DEPENDS cli/*.cpp)
add_executable(zumibo-fit ${cli_sources})
target_link_libraries(zumibo-fit PRIVATE zumibo_core nlohmann_json::nlohmann_json pthread)
target_compile_definitions(zumibo-fit PRIVATE ZUMIBO_VERSION="${PROJECT_VERSION}")
zumibo_defaults(zumibo-fit)

# `make install PREFIX=/usr/local` (and DESTDIR for a staging folder): the tool, its manual page
# and its completions, where Debian's man and shells look for them.
include(GNUInstallDirs)
install(TARGETS zumibo-fit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES cli/zumibo-fit.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES cli/completions/zumibo-fit.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME zumibo-fit)
install(FILES cli/completions/_zumibo-fit DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)

set(test_sources tests/temp_dir.cpp)
foreach(folder IN LISTS ZUMIBO_SUBSYSTEMS ITEMS cli)
  file(GLOB found CONFIGURE_DEPENDS tests/${folder}/*.cpp)
  list(APPEND test_sources ${found})
endforeach()
add_executable(zumibo_core_tests ${test_sources})
target_link_libraries(zumibo_core_tests PRIVATE zumibo_core GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
target_compile_definitions(zumibo_core_tests PRIVATE ZUMIBO_FIT_PATH="$<TARGET_FILE:zumibo-fit>" ZUMIBO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(zumibo_core_tests zumibo-fit)
zumibo_defaults(zumibo_core_tests)
gtest_discover_tests(zumibo_core_tests DISCOVERY_TIMEOUT 60)

add_test(NAME Install.BinaryManualPageAndCompletions
         COMMAND ${PROJECT_SOURCE_DIR}/tests/cli/install_test.sh ${CMAKE_BINARY_DIR})
add_test(NAME Layout.WindowsHeadersOnlyInWindowsCodeAndNoCirclesBetweenFolders
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-layout ${PROJECT_SOURCE_DIR})

add_executable(zumibo-search-bench bench/search_bench.cpp bench/instances.cpp tests/search/reference_search.cpp)
target_link_libraries(zumibo-search-bench PRIVATE zumibo_core pthread)
zumibo_defaults(zumibo-search-bench)

add_executable(zumibo-disc-bench bench/disc_bench.cpp)
target_link_libraries(zumibo-disc-bench PRIVATE zumibo_core pthread)
target_compile_definitions(zumibo-disc-bench PRIVATE ZUMIBO_FIT_PATH="$<TARGET_FILE:zumibo-fit>")
add_dependencies(zumibo-disc-bench zumibo-fit)
zumibo_defaults(zumibo-disc-bench)

add_executable(zumibo-files-bench bench/files_bench.cpp)
target_link_libraries(zumibo-files-bench PRIVATE zumibo_core)
zumibo_defaults(zumibo-files-bench)
