# hardening.cmake -- the hostile-data tests run the built talumen-render and write their own odd pictures with libjpeg
pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
add_dependencies(hostile_data_test talumen-render)
target_link_libraries(hostile_data_test PRIVATE PkgConfig::LIBJPEG)

# The player's ways out share the end-to-end harness, which talks to its X server through Xlib.
pkg_check_modules(HARDEN_X11 REQUIRED IMPORTED_TARGET x11)
add_dependencies(player_exits_test talumen)
target_link_libraries(player_exits_test PRIVATE PkgConfig::HARDEN_X11)

# The long runs render with talumen-render over the generator's data.
add_dependencies(long_run_test talumen-render talumen-data)
