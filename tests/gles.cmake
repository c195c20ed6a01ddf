# gles.cmake -- the GL 1.1 layer over OpenGL ES 3: whole frames against the desktop path
add_dependencies(gles_layer_test talumen-render-gles)

# The layer's own rules and pixels, on a small ES 3 framebuffer.
add_executable(gl11_test gles/gl11_test.cpp)
target_link_libraries(gl11_test PRIVATE talumen_egl_gles GTest::gtest_main)
target_compile_options(gl11_test PRIVATE ${TALUMEN_WARNINGS})
gtest_discover_tests(gl11_test DISCOVERY_TIMEOUT 60)
