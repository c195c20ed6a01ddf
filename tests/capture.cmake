# capture.cmake -- the capture tests run the built talumen-render on the generator's data and read PNGs back
add_dependencies(capture_test talumen-render talumen-data)
target_link_libraries(capture_test PRIVATE PkgConfig::CAIRO)
