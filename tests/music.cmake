# music.cmake -- the SDL sound device's checks

# The device checks need the player's platform layer, which the other test programs do without.
add_executable(sdl_audio_check sdl_audio_check.cpp)
target_link_libraries(sdl_audio_check PRIVATE talumen_testkit talumen_platform GTest::gtest_main)
target_compile_options(sdl_audio_check PRIVATE ${TALUMEN_WARNINGS})
gtest_discover_tests(sdl_audio_check DISCOVERY_TIMEOUT 60)

# The music cases start the track where no thread of ours can start (music_test.cpp wraps it).
target_link_options(music_test PRIVATE -Wl,--wrap=pthread_create)
