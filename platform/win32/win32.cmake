# win32.cmake -- the Windows build: talumen.exe and talumen-render.exe from MinGW-w64, and their zip
#
# Included instead of the desktop targets when CMake cross-compiles for Windows (the toolchain
# file platform/win32/mingw-w64.cmake; scripts/windows.sh drives the whole of it). The
# libraries come from scripts/windows-libs.sh (TALUMEN_WINDOWS_LIBS); the demo's data, the
# dialog's picture and the icon from the native data tool of the native build
# (TALUMEN_NATIVE_BUILD), since the generator's own libraries (Cairo) are not built for Windows.
# Everything is linked statically: the zip holds the two programs and their data, no DLL.

set(TALUMEN_NATIVE_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "the native build the Windows build takes its data from")
set(TALUMEN_DATA_TOOL "${TALUMEN_NATIVE_BUILD}/tools/talumen-data")
if(NOT EXISTS "${TALUMEN_DATA_TOOL}")
  message(FATAL_ERROR "the Windows build needs the native data tool at ${TALUMEN_DATA_TOOL}: "
    "build the native tree first (cmake -S . -B build && cmake --build build --target talumen-data) "
    "or set TALUMEN_NATIVE_BUILD")
endif()
if(NOT TALUMEN_WINDOWS_LIBS OR NOT EXISTS "${TALUMEN_WINDOWS_LIBS}/.built-1")
  message(FATAL_ERROR "the Windows build needs the libraries scripts/windows-libs.sh builds: "
    "set TALUMEN_WINDOWS_LIBS to its prefix (scripts/windows.sh does)")
endif()

# SDL2's own package file knows the system libraries its static library needs.
find_package(SDL2 CONFIG REQUIRED)
set(TALUMEN_LIB "${TALUMEN_WINDOWS_LIBS}/lib")
add_library(talumen_windows_libs INTERFACE)
target_include_directories(talumen_windows_libs SYSTEM INTERFACE "${TALUMEN_WINDOWS_LIBS}/include")
target_link_libraries(talumen_windows_libs INTERFACE
  "${TALUMEN_LIB}/libvorbisfile.a" "${TALUMEN_LIB}/libvorbis.a" "${TALUMEN_LIB}/libogg.a"
  "${TALUMEN_LIB}/libturbojpeg.a" "${TALUMEN_LIB}/libfftw3f.a" "${TALUMEN_LIB}/libswresample.a"
  "${TALUMEN_LIB}/libavutil.a" glu32 opengl32 gdi32 psapi bcrypt)

# The C and C++ runtimes and the thread library go into each program, so that it needs no DLL
# of the compiler's beside it.
add_link_options(-static)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)

# The portable core as on Linux, with Windows' implementations of the base's system calls and
# the GL entry points past 1.1. The programs' data lies beside them, not in ../share.
file(GLOB TALUMEN_CORE_SOURCES CONFIGURE_DEPENDS
  base/*.cpp app/timeline.cpp app/seek.cpp app/run.cpp app/keys.cpp app/capture_layout.cpp app/offscreen_run.cpp
  app/help_card.cpp assets/*.cpp audio/*.cpp render/*.cpp scenes/*.cpp)
list(REMOVE_ITEM TALUMEN_CORE_SOURCES "${CMAKE_SOURCE_DIR}/audio/fft_radix2.cpp"
  "${CMAKE_SOURCE_DIR}/base/system_posix.cpp" "${CMAKE_SOURCE_DIR}/base/program_folder_posix.cpp")
add_library(talumen_core STATIC ${TALUMEN_CORE_SOURCES}
  platform/win32/gl_functions.cpp)
target_include_directories(talumen_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(talumen_core PRIVATE ${TALUMEN_WARNINGS})
set_source_files_properties(assets/data_path.cpp PROPERTIES COMPILE_DEFINITIONS TALUMEN_INSTALLED_DATA="data")
target_link_libraries(talumen_core PUBLIC talumen_windows_libs)

# The dialog's picture and the icon, drawn by the native data tool.
set(TALUMEN_WINDOWS_RESOURCES "${CMAKE_BINARY_DIR}/resources")
add_custom_command(OUTPUT "${TALUMEN_WINDOWS_RESOURCES}/dialog.bmp" "${TALUMEN_WINDOWS_RESOURCES}/talumen.ico"
  COMMAND "${TALUMEN_DATA_TOOL}" --windows-resources "${TALUMEN_WINDOWS_RESOURCES}"
  DEPENDS "${TALUMEN_DATA_TOOL}"
  COMMENT "Drawing the Windows player's dialog picture and icon"
  VERBATIM)
# The version for the resources' version blocks: windres hands its definitions on through a
# shell, which loses a string's quotes, so it comes in a header.
file(CONFIGURE OUTPUT "${TALUMEN_WINDOWS_RESOURCES}/version.h" CONTENT
  "#define TALUMEN_RC_VERSION \"${PROJECT_VERSION}\"\n#define TALUMEN_RC_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH}\n")
set_source_files_properties(platform/win32/talumen.rc platform/win32/render.rc PROPERTIES
  OBJECT_DEPENDS "${TALUMEN_WINDOWS_RESOURCES}/dialog.bmp;${TALUMEN_WINDOWS_RESOURCES}/talumen.ico;${CMAKE_SOURCE_DIR}/platform/win32/talumen.manifest")

# The help card, the keys' table drawn by the native data tool, embedded as on Linux.
set(TALUMEN_KEYS_PICTURE_SOURCE "${TALUMEN_WINDOWS_RESOURCES}/keys_picture.cpp")
add_custom_command(OUTPUT "${TALUMEN_KEYS_PICTURE_SOURCE}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TALUMEN_WINDOWS_RESOURCES}"
  COMMAND ${CMAKE_COMMAND} -DTOOL=${TALUMEN_DATA_TOOL}
          -DOPTION=--keys-picture -DSYMBOL=keysPictureJpeg "-DWHAT=the player's help card, the keys' table"
          -DPICTURE=${TALUMEN_WINDOWS_RESOURCES}/keys.jpg -DSOURCE=${TALUMEN_KEYS_PICTURE_SOURCE}
          -P ${CMAKE_SOURCE_DIR}/resources/dialog_picture.cmake
  DEPENDS "${TALUMEN_DATA_TOOL}" ${CMAKE_SOURCE_DIR}/resources/dialog_picture.cmake
  COMMENT "Drawing the player's help card"
  VERBATIM)

# The player: the Linux player's entry point and SDL2 layer, with the Windows dialog, boxes
# and stop requests. A program of the windows subsystem: no console opens with it.
add_executable(talumen WIN32 platform/player_main.cpp platform/sdl_platform.cpp platform/sdl_audio.cpp
  "${TALUMEN_KEYS_PICTURE_SOURCE}"
  platform/win32/dialog.cpp platform/win32/boxes.cpp platform/win32/talumen.rc)
target_include_directories(talumen PRIVATE "${TALUMEN_WINDOWS_RESOURCES}")
target_link_libraries(talumen PRIVATE talumen_core SDL2::SDL2-static)
target_compile_options(talumen PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TALUMEN_WARNINGS}>)

# The offline renderer, a console program: headless GL through a hidden window's WGL context,
# video through ffmpeg.exe where it is on PATH.
file(GLOB TALUMEN_RENDER_SOURCES CONFIGURE_DEPENDS tools/render/*.cpp)
add_executable(talumen-render ${TALUMEN_RENDER_SOURCES} platform/win32/wgl_context.cpp
  platform/win32/child_process.cpp platform/win32/render.rc)
target_include_directories(talumen-render PRIVATE "${TALUMEN_WINDOWS_RESOURCES}")
target_link_libraries(talumen-render PRIVATE talumen_core "${TALUMEN_LIB}/libpng.a" "${TALUMEN_LIB}/libz.a")
target_compile_definitions(talumen-render PRIVATE TALUMEN_VERSION="${PROJECT_VERSION}")
target_compile_options(talumen-render PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TALUMEN_WARNINGS}>)

# A stand-in for ffmpeg.exe, with which the Wine tests check talumen-render.exe's pipe to its
# encoder (tests/wine); not packed.
if(TALUMEN_TESTS)
  add_executable(stand_in_ffmpeg tests/wine/stand_in_ffmpeg.cpp)
  set_target_properties(stand_in_ffmpeg PROPERTIES OUTPUT_NAME ffmpeg RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/stand-in")
  target_compile_options(stand_in_ffmpeg PRIVATE ${TALUMEN_WARNINGS})
endif()

# The demo's data, made by the native data tool, for the zip.
set(TALUMEN_BUILT_DATA "${CMAKE_BINARY_DIR}/data-to-install")
add_custom_command(OUTPUT "${TALUMEN_BUILT_DATA}/talumen.ogg"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${TALUMEN_BUILT_DATA}"
  COMMAND "${TALUMEN_DATA_TOOL}" "${TALUMEN_BUILT_DATA}"
  DEPENDS "${TALUMEN_DATA_TOOL}"
  COMMENT "Making the demo's data to pack")
add_custom_target(talumen_windows_data ALL DEPENDS "${TALUMEN_BUILT_DATA}/talumen.ogg")

# The zip: the two programs, data/ beside them (where they look for it), a README for Windows
# users and the licence notices of everything linked in.
install(TARGETS talumen talumen-render RUNTIME DESTINATION .)
install(DIRECTORY "${TALUMEN_BUILT_DATA}/" DESTINATION data PATTERN "dialog.png" EXCLUDE)
# With Windows' line ends, which every Notepad reads.
configure_file(platform/win32/README.txt "${CMAKE_BINARY_DIR}/README.txt" @ONLY NEWLINE_STYLE CRLF)
install(FILES "${CMAKE_BINARY_DIR}/README.txt" DESTINATION .)
install(DIRECTORY "${TALUMEN_WINDOWS_LIBS}/licences/" DESTINATION licences)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licences/mingw-w64 RENAME debian-copyright)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licences/gcc-runtime RENAME debian-copyright)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME talumen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME talumen-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(TALUMEN_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/../package" CACHE PATH "where the zip is written")
set(CPACK_PACKAGE_DIRECTORY "${TALUMEN_PACKAGE_DIRECTORY}")
set(CPACK_STRIP_FILES ON)
include(CPack)
