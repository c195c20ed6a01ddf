# player.cmake -- the player's end-to-end tests: the real program under Xvfb, driven with xdotool and looked at through Xlib
# Each case brings up its own X server on a free display, so they may run side by side. The
# whole-sequence case alone takes about 160 s.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(player_test PRIVATE PkgConfig::X11)
target_link_libraries(player_exits_test PRIVATE PkgConfig::X11)
