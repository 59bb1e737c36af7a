# Windows targets, cross-built with MinGW-w64 and run under Wine.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(Zumibo WIN32 app/skeleton_main.cpp res/zumibo.rc)
target_link_libraries(Zumibo PRIVATE zumibo_core comctl32 ole32 uuid shell32 gdi32)
zumibo_defaults(Zumibo)

add_executable(zumibo_win_tests
  tests/win/platform_test.cpp
  tests/win/win_temp_dir.cpp
  tests/win/screen.cpp
  tests/win/smoke_test.cpp
)
target_link_libraries(zumibo_win_tests PRIVATE zumibo_core gtest gtest_main gdi32)
add_dependencies(zumibo_win_tests Zumibo)
zumibo_defaults(zumibo_win_tests)
