# Windows targets, cross-built with MinGW-w64 and run under Wine.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
configure_file(cmake/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h)
include_directories(${CMAKE_BINARY_DIR}/generated)

# GoogleTest for MinGW, built from /usr/src/googletest once per compiler version into .cache/
# beside the Wine prefixes, and shared by every build folder: a clean build does not build it again.
# A lock keeps two build folders configured at the same time from building it twice.
set(gtest_prefix "${PROJECT_SOURCE_DIR}/.cache/googletest-mingw-${CMAKE_CXX_COMPILER_VERSION}")
file(LOCK "${gtest_prefix}.lock" GUARD FILE)
if(NOT EXISTS "${gtest_prefix}/lib/libgtest_main.a")
  message(STATUS "Building GoogleTest for MinGW once, into ${gtest_prefix}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S /usr/src/googletest -B "${gtest_prefix}/build" -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake -DBUILD_GMOCK=OFF
            -DINSTALL_GTEST=ON "-DCMAKE_INSTALL_PREFIX=${gtest_prefix}" -DCMAKE_INSTALL_LIBDIR=lib
    OUTPUT_QUIET RESULT_VARIABLE configured)
  if(configured EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build "${gtest_prefix}/build" --target install -j 2 OUTPUT_QUIET
                    RESULT_VARIABLE built)
  endif()
  if(NOT configured EQUAL 0 OR NOT built EQUAL 0)
    message(FATAL_ERROR "GoogleTest could not be built for MinGW (see ${gtest_prefix}/build)")
  endif()
endif()
file(LOCK "${gtest_prefix}.lock" RELEASE)
foreach(library gtest gtest_main)
  add_library(${library} STATIC IMPORTED)
  set_target_properties(${library} PROPERTIES IMPORTED_LOCATION "${gtest_prefix}/lib/lib${library}.a"
                                              INTERFACE_INCLUDE_DIRECTORIES "${gtest_prefix}/include")
endforeach()
set_target_properties(gtest_main PROPERTIES INTERFACE_LINK_LIBRARIES gtest)

# The window and everything behind it, shared by the program and its tests.
file(GLOB win_sources CONFIGURE_DEPENDS framework/*.cpp)
foreach(folder IN LISTS ZUMIBO_SUBSYSTEMS)
  file(GLOB found CONFIGURE_DEPENDS ${folder}/win/*.cpp)
  list(APPEND win_sources ${found})
endforeach()
list(REMOVE_ITEM win_sources ${PROJECT_SOURCE_DIR}/app/win/main.cpp)
add_library(zumibo_win STATIC ${win_sources})
target_link_libraries(zumibo_win PUBLIC zumibo_core comctl32 ole32 oleaut32 uuid shell32 gdi32)
target_compile_definitions(zumibo_win PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601)
# Nearly every file of these includes the Windows headers, which dwarf the files themselves.
target_precompile_headers(zumibo_win PRIVATE <windows.h> <commctrl.h> <shlobj.h> <string> <vector>)
zumibo_defaults(zumibo_win)

add_executable(Zumibo WIN32 app/win/main.cpp res/zumibo.rc)
target_link_libraries(Zumibo PRIVATE zumibo_win)
target_link_options(Zumibo PRIVATE $<$<CONFIG:Release>:-s>)
zumibo_defaults(Zumibo)

file(GLOB win_test_sources CONFIGURE_DEPENDS tests/win/*.cpp)
list(REMOVE_ITEM win_test_sources ${PROJECT_SOURCE_DIR}/tests/win/test_viewer.cpp)
add_executable(zumibo_win_tests ${win_test_sources} res/zumibo.rc)
target_link_libraries(zumibo_win_tests PRIVATE zumibo_win gtest gtest_main)
target_compile_definitions(zumibo_win_tests PRIVATE ZUMIBO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_precompile_headers(zumibo_win_tests PRIVATE <windows.h> <commctrl.h> <shlobj.h> <string> <vector>
                          <gtest/gtest.h>)
add_dependencies(zumibo_win_tests Zumibo zumibo_test_viewer)

add_executable(zumibo_test_viewer WIN32 tests/win/test_viewer.cpp)
zumibo_defaults(zumibo_test_viewer)
zumibo_defaults(zumibo_win_tests)

add_executable(zumibo_win_bench bench/win/win_bench.cpp tests/win/win_temp_dir.cpp res/zumibo.rc)
target_link_libraries(zumibo_win_bench PRIVATE zumibo_win)
zumibo_defaults(zumibo_win_bench)

# Drives the real program for `make run` on a machine without a display.
add_executable(zumibo_demo scripts/win/demo_driver.cpp tests/win/screen.cpp)
target_link_libraries(zumibo_demo PRIVATE gdi32)
zumibo_defaults(zumibo_demo)

# Checks the real program from another process (scripts/outside-checks).
add_executable(zumibo_outside_checks scripts/win/outside_checks.cpp tests/win/screen.cpp)
target_link_libraries(zumibo_outside_checks PRIVATE gdi32)
zumibo_defaults(zumibo_outside_checks)
