# Windows targets, cross-built with MinGW-w64 and run under Wine.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
configure_file(cmake/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h)
include_directories(${CMAKE_BINARY_DIR}/generated)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

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
