# player.cmake -- the player's end-to-end tests: the real program under Xvfb, driven with xdotool and looked at through Xlib
# Each case brings up its own X server on a free display, so they may run side by side. The
# whole-sequence case alone takes about 160 s.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xfixes)
target_link_libraries(player_test PRIVATE PkgConfig::X11)
target_link_libraries(player_exits_test PRIVATE PkgConfig::X11)

# Preloaded into the player by player_exits_test, to see what it forks; built without the
# sanitizers, as it is loaded into programs that have none (the children it starts).
add_library(fork_watch MODULE preload/fork_watch.cpp)
target_compile_options(fork_watch PRIVATE ${TALUMEN_WARNINGS} -fno-sanitize=all)
target_link_options(fork_watch PRIVATE -fno-sanitize=all)
add_dependencies(player_exits_test fork_watch)
target_compile_definitions(player_exits_test PRIVATE FORK_WATCH_LIBRARY="$<TARGET_FILE:fork_watch>")
