# install.cmake -- what `cmake --install` puts under the prefix, and the Debian package CPack makes of it
#
# The demo's data is made at build time by talumen-data into a folder of the build tree that
# no program looks in by itself, so the build tree's own runs keep reading data/ in their
# working directory; installed, it lands where the programs look when there is none.
include(GNUInstallDirs)

set(TALUMEN_BUILT_DATA ${CMAKE_BINARY_DIR}/data-to-install)
# In a sanitizer build the tool's leak check would fail the build on what fontconfig keeps;
# the tests check the tool's leaks, with their suppressions.
set(TALUMEN_DATA_TOOL ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:talumen-data>)
set(TALUMEN_ICONS ${CMAKE_BINARY_DIR}/resources/icons)
add_custom_command(OUTPUT ${TALUMEN_BUILT_DATA}/talumen.ogg
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TALUMEN_BUILT_DATA}
  COMMAND ${TALUMEN_DATA_TOOL} ${TALUMEN_BUILT_DATA}
  DEPENDS talumen-data
  COMMENT "Making the demo's data to install")
add_custom_command(OUTPUT ${TALUMEN_ICONS}/scalable/apps/talumen.svg
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TALUMEN_ICONS}
  COMMAND ${TALUMEN_DATA_TOOL} --icon ${TALUMEN_ICONS}
  DEPENDS talumen-data
  COMMENT "Drawing the icons")
add_custom_target(talumen_install_data ALL DEPENDS ${TALUMEN_BUILT_DATA}/talumen.ogg ${TALUMEN_ICONS}/scalable/apps/talumen.svg)

install(TARGETS talumen talumen-render talumen-data RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The folder the programs look for beside their own: bin/../share/talumen/data.
install(DIRECTORY ${TALUMEN_BUILT_DATA}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/talumen/data
  PATTERN "dialog.png" EXCLUDE)
# The menu starts the player in the folder that holds the installed data/, not in the home
# folder, whose own data/ (if any) is the viewer's: the entry names it once the prefix is
# known, which for a package is where it will be installed, not where CPack stages it.
install(CODE "
  set(applications \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
  file(READ \"${CMAKE_SOURCE_DIR}/resources/talumen.desktop\" entry)
  message(STATUS \"Installing: \${applications}/talumen.desktop\")
  file(WRITE \"\${applications}/talumen.desktop\" \"\${entry}Path=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/talumen\\n\")
")
# The icons at the sizes menus and task bars ask for, and scalable, laid out as the theme is.
install(DIRECTORY ${TALUMEN_ICONS}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# scripts/package.sh: `cpack` in a build tree makes talumen_VERSION_ARCH.deb. The libraries the
# programs link are found by dpkg-shlibdeps; what they only load at run time is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talumen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo in time with its music")
# The summary is the Description's first line; CPack indents the rest and marks the empty line.
set(CPACK_PACKAGE_DESCRIPTION "Five OpenGL scenes play a fixed 156-second sequence in time with its music;
the loudness of the music drives alphas, line widths, camera jumps and screen
shake. A dialog asks for the screen mode, then the demo plays full screen.

Also holds talumen-render, which renders the demo offline to stills, frames or
video, and talumen-data, which makes every picture, mesh and note of it.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The talumen developers <talumen@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What is opened by name at run time, which dpkg-shlibdeps cannot see: SDL opens GLX's
# libGL.so.1, which hands the window to a vendor library; the headless EGL path opens
# EGL's vendor library; Mesa's vendor libraries open its DRI drivers, the software one
# among them for machines without a GPU. Without them the player cannot open its window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglx-mesa0 | libglx-vendor, libegl-mesa0 | libegl-vendor, libgl1-mesa-dri")
# talumen-data letters in DejaVu; the data in the package was drawn with it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
