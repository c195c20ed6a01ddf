# player.cmake -- the player's end-to-end tests: the real program under Xvfb, driven with xdotool and looked at through Xlib
# Each case brings up its own X server on a free display, so they may run side by side. The
# whole-sequence case alone takes about 160 s.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
foreach(test player_test player_exits_test)
  add_dependencies(${test} talumen talumen-render talumen-data)
  target_link_libraries(${test} PRIVATE PkgConfig::X11)
endforeach()
