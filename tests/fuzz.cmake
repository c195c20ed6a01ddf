# fuzz.cmake -- libFuzzer targets for the picture and mesh readers, built only with -DTALUMEN_FUZZ=ON and clang
option(TALUMEN_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(TALUMEN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TALUMEN_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  set(TALUMEN_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  # The readers under test, instrumented for coverage; the rest of the program is not needed.
  add_library(talumen_fuzz_assets STATIC
    ${CMAKE_SOURCE_DIR}/assets/mesh.cpp ${CMAKE_SOURCE_DIR}/assets/texture.cpp ${CMAKE_SOURCE_DIR}/assets/data_path.cpp
    ${CMAKE_SOURCE_DIR}/assets/loader.cpp ${CMAKE_SOURCE_DIR}/assets/load_times.cpp ${CMAKE_SOURCE_DIR}/render/carried_gl.cpp
    ${CMAKE_SOURCE_DIR}/base/message.cpp ${CMAKE_SOURCE_DIR}/base/globals.cpp ${CMAKE_SOURCE_DIR}/base/run_marks.cpp
    ${CMAKE_SOURCE_DIR}/base/system_posix.cpp)
  target_include_directories(talumen_fuzz_assets PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(talumen_fuzz_assets PRIVATE ${TALUMEN_WARNINGS} ${TALUMEN_FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
  target_link_libraries(talumen_fuzz_assets PUBLIC OpenGL::OpenGL PkgConfig::GLU PkgConfig::TURBOJPEG)
  foreach(target obj_fuzz jpeg_fuzz)
    add_executable(${target} fuzz/${target}.cpp)
    target_link_libraries(${target} PRIVATE talumen_fuzz_assets)
    target_compile_options(${target} PRIVATE ${TALUMEN_WARNINGS} ${TALUMEN_FUZZ_FLAGS} -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE ${TALUMEN_FUZZ_FLAGS} -fsanitize=fuzzer)
  endforeach()
  add_executable(fuzz_seeds fuzz/fuzz_seeds.cpp)
  target_link_libraries(fuzz_seeds PRIVATE PkgConfig::TURBOJPEG)
  target_compile_options(fuzz_seeds PRIVATE ${TALUMEN_WARNINGS})
endif()
