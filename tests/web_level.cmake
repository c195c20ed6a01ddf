# web_level.cmake -- the native side of the web build's tests: level_points, and the run's clock, which is plain arithmetic
add_executable(level_points web/level_points.cpp)
target_link_libraries(level_points PRIVATE talumen_core)
target_compile_options(level_points PRIVATE ${TALUMEN_WARNINGS})

target_sources(run_clock_test PRIVATE ${CMAKE_SOURCE_DIR}/platform/web/run_clock.cpp)

# The chained track the web build's loudness is compared on, written with the tests' encoder.
add_executable(chained_track web/chained_track.cpp)
target_link_libraries(chained_track PRIVATE talumen_testkit)
target_compile_options(chained_track PRIVATE ${TALUMEN_WARNINGS})
