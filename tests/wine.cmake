# wine.cmake -- the Windows programs' tests (tests/wine/wine_test.cpp), built here with the native test kit
# They run Wine and need the Windows build, so they are not registered here: their own CTest
# folder (tests/wine/CMakeLists.txt, driven by scripts/windows.sh --test) lists and runs them.
if(NOT TARGET PkgConfig::X11)
  pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
endif()
add_executable(wine_test wine/wine_test.cpp)
target_link_libraries(wine_test PRIVATE talumen_testkit GTest::gtest_main PkgConfig::X11)
target_compile_options(wine_test PRIVATE ${TALUMEN_WARNINGS})
