# cubes.cmake -- the cubes scene's benchmark: the plain and the batched chain side by side

# A program to run, not a test (timings fail nobody):
#   build/tests/cubes_bench [--frames N] [--data DIR]
add_executable(cubes_bench cubes_bench.cpp)
target_link_libraries(cubes_bench PRIVATE talumen_testkit)
target_compile_options(cubes_bench PRIVATE ${TALUMEN_WARNINGS})
