# web_level.cmake -- the native side of the web build's loudness comparison: level_points, natively
add_executable(level_points web/level_points.cpp)
target_link_libraries(level_points PRIVATE talumen_core)
target_compile_options(level_points PRIVATE ${TALUMEN_WARNINGS})
