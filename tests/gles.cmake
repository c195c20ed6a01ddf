# gles.cmake -- the GL 1.1 layer over OpenGL ES 3: whole frames against the desktop path
add_dependencies(gles_layer_test talumen-render talumen-render-gles talumen-data)
target_link_libraries(gles_layer_test PRIVATE PkgConfig::CAIRO)
