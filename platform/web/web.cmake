# web.cmake -- the browser build: the portable core over our GL layer, the web platform layer, the site
#
# Included instead of the desktop targets when CMake runs under emcmake. The result is
# ${CMAKE_BINARY_DIR}/site: index.html, talumen.js, talumen.wasm, export.js and the muxer it
# imports (mediabunny.js, from the npm registry through platform/web/package-lock.json),
# picture.png and data/, all of it static files. The data and the start screen's picture come from the native data tool
# of the native build (TALUMEN_NATIVE_BUILD, by default build/), since the generator's own
# libraries (Cairo, libvorbisenc) are not built for the web; its talumen-render and
# level_points are what the web tests compare with.

set(TALUMEN_NATIVE_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "the native build the web build takes its data from")
set(TALUMEN_DATA_TOOL "${TALUMEN_NATIVE_BUILD}/tools/talumen-data")
if(NOT EXISTS "${TALUMEN_DATA_TOOL}")
  message(FATAL_ERROR "the web build needs the native data tool at ${TALUMEN_DATA_TOOL}: "
    "build the native tree first (cmake -S . -B build && cmake --build build --target talumen-data) "
    "or set TALUMEN_NATIVE_BUILD")
endif()

# libogg, libvorbis, libjpeg-turbo and libswresample from Debian's sources, built once into the
# build folder.
# FFTW's build would add minutes to every clean web build; audio/fft_radix2.cpp gives the one
# transform the level measure makes.
set(TALUMEN_WEB_LIBS "${CMAKE_BINARY_DIR}/libs/prefix")
execute_process(COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/web-libs.sh" "${CMAKE_BINARY_DIR}/libs"
  RESULT_VARIABLE librariesBuilt)
if(NOT librariesBuilt EQUAL 0)
  message(FATAL_ERROR "scripts/web-libs.sh failed: the web build has no ogg, vorbis, jpeg or swresample library")
endif()
add_library(talumen_web_libs INTERFACE)
target_include_directories(talumen_web_libs SYSTEM INTERFACE "${TALUMEN_WEB_LIBS}/include")
target_link_libraries(talumen_web_libs INTERFACE
  "${TALUMEN_WEB_LIBS}/lib/libvorbisfile.a" "${TALUMEN_WEB_LIBS}/lib/libvorbis.a" "${TALUMEN_WEB_LIBS}/lib/libogg.a"
  "${TALUMEN_WEB_LIBS}/lib/libswresample.a" "${TALUMEN_WEB_LIBS}/lib/libavutil.a"
  "${TALUMEN_WEB_LIBS}/lib/libturbojpeg.a")

# The GL 1.1 and GLU calls of the portable code become our layer's, over WebGL 2.
file(GLOB TALUMEN_GLES_SOURCES CONFIGURE_DEPENDS render/gl11/*.cpp)
file(GLOB TALUMEN_CORE_SOURCES CONFIGURE_DEPENDS
  base/*.cpp app/timeline.cpp app/seek.cpp app/run.cpp app/keys.cpp app/capture_layout.cpp app/offscreen_run.cpp
  assets/*.cpp audio/*.cpp render/*.cpp scenes/*.cpp)
list(REMOVE_ITEM TALUMEN_CORE_SOURCES "${CMAKE_SOURCE_DIR}/audio/fft_fftw.cpp"
  "${CMAKE_SOURCE_DIR}/base/system_win32.cpp" "${CMAKE_SOURCE_DIR}/base/program_folder_win32.cpp")
add_library(talumen_core STATIC ${TALUMEN_CORE_SOURCES} ${TALUMEN_GLES_SOURCES})
target_include_directories(talumen_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(talumen_core PUBLIC TALUMEN_GL_LAYER)
target_compile_options(talumen_core PRIVATE ${TALUMEN_WARNINGS})
target_link_libraries(talumen_core PUBLIC talumen_web_libs)

# Emscripten's JS optimizer runs at link time under Node, which finds its modules (acorn) only
# through NODE_PATH; the link sets it, so a plain cmake --build works from any shell.
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

set(TALUMEN_SITE "${CMAKE_BINARY_DIR}/site")
set(TALUMEN_WEB_LINK
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2 -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=16777216
  -sFORCE_FILESYSTEM=1 -sMODULARIZE=1 -sEXPORT_NAME=createTalumen -sENVIRONMENT=web
  -sEXPORTED_RUNTIME_METHODS=FS,ccall,cwrap,UTF8ToString
  -sEXPORTED_FUNCTIONS=_main,_malloc,_free)

add_executable(talumen_web platform/web/web_main.cpp platform/web/web_platform.cpp platform/web/run_clock.cpp)
target_link_libraries(talumen_web PRIVATE talumen_core)
target_compile_options(talumen_web PRIVATE ${TALUMEN_WARNINGS})
target_link_options(talumen_web PRIVATE ${TALUMEN_WEB_LINK})
set_target_properties(talumen_web PROPERTIES OUTPUT_NAME talumen SUFFIX ".js"
  RUNTIME_OUTPUT_DIRECTORY "${TALUMEN_SITE}")

# The page's own packages from the npm registry (platform/web/package.json, pinned by its lock
# file), installed into the build folder with npm ci: the muxer of the video export, whose bundle
# the site serves as mediabunny.js. Nothing is fetched while the page runs.
set(TALUMEN_SITE_PACKAGES "${CMAKE_BINARY_DIR}/site-packages")
set(TALUMEN_MUXER_BUNDLE "${TALUMEN_SITE_PACKAGES}/node_modules/mediabunny/dist/bundles/mediabunny.min.mjs")
add_custom_command(OUTPUT "${TALUMEN_MUXER_BUNDLE}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TALUMEN_SITE_PACKAGES}"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/platform/web/package.json"
          "${CMAKE_SOURCE_DIR}/platform/web/package-lock.json" "${TALUMEN_SITE_PACKAGES}"
  COMMAND npm ci --no-audit --no-fund --loglevel=error
  COMMAND ${CMAKE_COMMAND} -E touch_nocreate "${TALUMEN_MUXER_BUNDLE}"
  WORKING_DIRECTORY "${TALUMEN_SITE_PACKAGES}"
  DEPENDS "${CMAKE_SOURCE_DIR}/platform/web/package.json" "${CMAKE_SOURCE_DIR}/platform/web/package-lock.json"
  COMMENT "Installing the page's packages (npm ci)"
  VERBATIM)
add_custom_command(OUTPUT "${TALUMEN_SITE}/mediabunny.js" "${TALUMEN_SITE}/export.js"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TALUMEN_SITE}"
  COMMAND ${CMAKE_COMMAND} -E copy "${TALUMEN_MUXER_BUNDLE}" "${TALUMEN_SITE}/mediabunny.js"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/platform/web/export.js" "${TALUMEN_SITE}/export.js"
  DEPENDS "${TALUMEN_MUXER_BUNDLE}" "${CMAKE_SOURCE_DIR}/platform/web/export.js"
  VERBATIM)

# The page, its manifest, the start screen's picture, the icons and the demo's data, written next
# to the program.
add_custom_command(OUTPUT "${TALUMEN_SITE}/index.html" "${TALUMEN_SITE}/manifest.webmanifest"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TALUMEN_SITE}"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/platform/web/index.html" "${TALUMEN_SITE}/index.html"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/platform/web/manifest.webmanifest"
          "${TALUMEN_SITE}/manifest.webmanifest"
  DEPENDS "${CMAKE_SOURCE_DIR}/platform/web/index.html" "${CMAKE_SOURCE_DIR}/platform/web/manifest.webmanifest"
  VERBATIM)
add_custom_command(OUTPUT "${TALUMEN_SITE}/data/files.txt" "${TALUMEN_SITE}/picture.png"
                          "${TALUMEN_SITE}/icons/talumen-256.png"
  COMMAND ${CMAKE_COMMAND} -DTOOL=${TALUMEN_DATA_TOOL} -DSITE=${TALUMEN_SITE}
          -P "${CMAKE_SOURCE_DIR}/platform/web/site_data.cmake"
  DEPENDS "${TALUMEN_DATA_TOOL}" "${CMAKE_SOURCE_DIR}/platform/web/site_data.cmake"
  COMMENT "Writing the site's data with ${TALUMEN_DATA_TOOL}"
  VERBATIM)
# The service worker last, named after a hash of everything else in the site.
add_custom_command(OUTPUT "${TALUMEN_SITE}/sw.js"
  COMMAND ${CMAKE_COMMAND} -DSITE=${TALUMEN_SITE} -DTEMPLATE=${CMAKE_SOURCE_DIR}/platform/web/sw.js
          -P "${CMAKE_SOURCE_DIR}/platform/web/site_worker.cmake"
  DEPENDS "${TALUMEN_SITE}/index.html" "${TALUMEN_SITE}/manifest.webmanifest" "${TALUMEN_SITE}/data/files.txt"
          "${TALUMEN_SITE}/mediabunny.js" "${TALUMEN_SITE}/export.js" "${TALUMEN_SITE}/picture.png" "${TALUMEN_SITE}/icons/talumen-256.png" "$<TARGET_FILE:talumen_web>"
          "${CMAKE_SOURCE_DIR}/platform/web/sw.js" "${CMAKE_SOURCE_DIR}/platform/web/site_worker.cmake"
  COMMENT "Writing the site's service worker"
  VERBATIM)
add_custom_target(talumen_site ALL DEPENDS "${TALUMEN_SITE}/index.html" "${TALUMEN_SITE}/data/files.txt"
  "${TALUMEN_SITE}/mediabunny.js" "${TALUMEN_SITE}/export.js"
  "${TALUMEN_SITE}/picture.png" "${TALUMEN_SITE}/sw.js" talumen_web)

# The loudness of the decoded track at fixed positions, run under Node, for the comparison
# with the native build's numbers.
add_executable(level_points tests/web/level_points.cpp)
target_link_libraries(level_points PRIVATE talumen_core)
target_compile_options(level_points PRIVATE ${TALUMEN_WARNINGS})
target_link_options(level_points PRIVATE -sNODERAWFS=1 -sENVIRONMENT=node -sALLOW_MEMORY_GROWTH=1)
set_target_properties(level_points PROPERTIES SUFFIX ".js")

if(TALUMEN_TESTS)
  enable_testing()
  include(tests/web/web_tests.cmake)
endif()
