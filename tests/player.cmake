# player.cmake -- the player's end-to-end tests: the real program under Xvfb, driven with xdotool
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)

add_executable(player_e2e ${CMAKE_CURRENT_LIST_DIR}/player_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/player_screens.cpp)
target_link_libraries(player_e2e PRIVATE talumen_testkit GTest::gtest_main PkgConfig::X11 PkgConfig::CAIRO)
target_compile_options(player_e2e PRIVATE ${TALUMEN_WARNINGS})
# The tests start the player, so building them builds it.
add_dependencies(player_e2e talumen talumen-render talumen-data)
# Each case brings up its own X server on a free display, so they may run side by side. The
# whole-sequence case alone takes about 160 s.
gtest_discover_tests(player_e2e DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "TALUMEN_BIN=${CMAKE_BINARY_DIR}" TIMEOUT 300 LABELS player)
