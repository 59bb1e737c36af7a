# Native (Linux) targets: the command-line tool, the core's unit tests, the benchmark.
find_package(GTest REQUIRED)
find_package(nlohmann_json REQUIRED)
include(GoogleTest)

# Disc sets: the catalog of the discs written (SQLite) and SHA-256 (OpenSSL's libcrypto), portable
# POSIX code built natively only.
find_package(SQLite3 REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
file(GLOB sets_sources CONFIGURE_DEPENDS sets/*.cpp)
add_library(zumibo_sets STATIC ${sets_sources})
target_link_libraries(zumibo_sets PUBLIC SQLite::SQLite3 OpenSSL::Crypto)
target_include_directories(zumibo_sets PUBLIC ${PROJECT_SOURCE_DIR})
zumibo_defaults(zumibo_sets)

# zumibo-fit: its jobs in a library the tests reach too, and main.
file(GLOB cli_sources CONFIGURE_DEPENDS cli/*.cpp)
list(REMOVE_ITEM cli_sources ${PROJECT_SOURCE_DIR}/cli/main.cpp)
add_library(zumibo_cli STATIC ${cli_sources})
target_link_libraries(zumibo_cli PUBLIC zumibo_core zumibo_sets pthread)
target_precompile_headers(zumibo_cli PRIVATE <algorithm> <string> <string_view> <vector> <cstdint> <cstdio>)
target_compile_definitions(zumibo_cli PRIVATE ZUMIBO_VERSION="${PROJECT_VERSION}")
zumibo_defaults(zumibo_cli)
add_executable(zumibo-fit cli/main.cpp)
target_link_libraries(zumibo-fit PRIVATE zumibo_cli)
zumibo_defaults(zumibo-fit)

# The manual page and the completions are written by the tool from the definitions its --help
# comes from.
set(fit_docs ${CMAKE_BINARY_DIR}/docs/zumibo-fit.1 ${CMAKE_BINARY_DIR}/docs/zumibo-fit.bash
             ${CMAKE_BINARY_DIR}/docs/_zumibo-fit)
add_custom_command(OUTPUT ${fit_docs}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
  COMMAND sh -c "$<TARGET_FILE:zumibo-fit> --generate man > docs/zumibo-fit.1"
  COMMAND sh -c "$<TARGET_FILE:zumibo-fit> --generate bash > docs/zumibo-fit.bash"
  COMMAND sh -c "$<TARGET_FILE:zumibo-fit> --generate zsh > docs/_zumibo-fit"
  DEPENDS zumibo-fit WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
add_custom_target(zumibo-fit-docs ALL DEPENDS ${fit_docs})

# `make install PREFIX=/usr/local` (and DESTDIR for a staging folder): the tool, its manual page
# and its completions, where Debian's man and shells look for them.
include(GNUInstallDirs)
install(TARGETS zumibo-fit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/docs/zumibo-fit.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/docs/zumibo-fit.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zumibo-fit)
install(FILES ${CMAKE_BINARY_DIR}/docs/_zumibo-fit DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)

set(test_sources tests/temp_dir.cpp tests/json.cpp)
foreach(folder IN LISTS ZUMIBO_SUBSYSTEMS ITEMS cli sets)
  file(GLOB found CONFIGURE_DEPENDS tests/${folder}/*.cpp)
  list(APPEND test_sources ${found})
endforeach()
list(REMOVE_ITEM test_sources ${PROJECT_SOURCE_DIR}/tests/cli/fuzz_main.cpp)
add_executable(zumibo_core_tests ${test_sources})
target_link_libraries(zumibo_core_tests PRIVATE zumibo_cli nlohmann_json::nlohmann_json GTest::gtest GTest::gtest_main)
# googletest and nlohmann/json are most of what a test file costs to compile: parsed once.
target_precompile_headers(zumibo_core_tests PRIVATE <gtest/gtest.h> <nlohmann/json.hpp> <filesystem> <random> <string>
                          <vector>)
target_compile_definitions(zumibo_core_tests PRIVATE ZUMIBO_FIT_PATH="$<TARGET_FILE:zumibo-fit>" ZUMIBO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(zumibo_core_tests zumibo-fit zumibo-fit-docs)
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

add_executable(zumibo-sets-bench bench/sets_bench.cpp)
target_link_libraries(zumibo-sets-bench PRIVATE zumibo_sets)
target_compile_definitions(zumibo-sets-bench PRIVATE ZUMIBO_FIT_PATH="$<TARGET_FILE:zumibo-fit>")
add_dependencies(zumibo-sets-bench zumibo-fit)
zumibo_defaults(zumibo-sets-bench)

# libFuzzer builds of the parsers' fuzz targets (clang only): cmake -DZUMIBO_FUZZ=ON
# -DCMAKE_CXX_COMPILER=clang++; then e.g. zumibo-fuzz-list tests/cli/fuzz_corpus/list.
option(ZUMIBO_FUZZ "Build libFuzzer executables of the command line's parsers (clang)" OFF)
if(ZUMIBO_FUZZ)
  foreach(target Quantity:QuantityText List:ListInput Graft:GraftLine)
    string(REPLACE ":" ";" parts ${target})
    list(GET parts 0 short)
    list(GET parts 1 function)
    string(TOLOWER ${short} name)
    add_executable(zumibo-fuzz-${name} tests/cli/fuzz_main.cpp tests/cli/fuzz_targets.cpp)
    target_compile_definitions(zumibo-fuzz-${name} PRIVATE ZUMIBO_FUZZ_TARGET=Fuzz${function})
    target_compile_options(zumibo-fuzz-${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(zumibo-fuzz-${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(zumibo-fuzz-${name} PRIVATE zumibo_cli)
    zumibo_defaults(zumibo-fuzz-${name})
  endforeach()
endif()
