# hardening.cmake -- the hostile-data tests run the built talumen-render and write their own odd pictures with libjpeg
pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
add_dependencies(hostile_data_test talumen-render)
target_link_libraries(hostile_data_test PRIVATE PkgConfig::LIBJPEG)

# The long runs render with talumen-render over the generator's data.
add_dependencies(long_run_test talumen-render talumen-data)
