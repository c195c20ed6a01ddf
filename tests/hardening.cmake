# hardening.cmake -- the hostile-data tests write their own odd pictures with libjpeg
pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
target_link_libraries(hostile_data_test PRIVATE PkgConfig::LIBJPEG)
