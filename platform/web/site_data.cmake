# site_data.cmake -- writes the site's data/, its list, the start screen's picture and the icons with the native data tool
# Run as cmake -DTOOL=talumen-data -DSITE=dir -P site_data.cmake. The page fetches the files named
# in data/files.txt; one that is missing from the site is simply not there for the demo, which
# then says what the native player says about it.
execute_process(COMMAND "${TOOL}" "${SITE}/data" RESULT_VARIABLE written)
if(NOT written EQUAL 0)
  message(FATAL_ERROR "${TOOL} could not write ${SITE}/data")
endif()
execute_process(COMMAND "${TOOL}" --dialog-picture "${SITE}/picture.png" RESULT_VARIABLE drawn)
if(NOT drawn EQUAL 0)
  message(FATAL_ERROR "${TOOL} could not draw ${SITE}/picture.png")
endif()
# The program's icons, for the page and its manifest: the tool writes an icon theme's folders,
# of which the site keeps a few sizes under flat names.
set(theme "${SITE}/../site-icons")
file(REMOVE_RECURSE "${theme}")
execute_process(COMMAND "${TOOL}" --icon "${theme}" RESULT_VARIABLE iconsDrawn)
if(NOT iconsDrawn EQUAL 0)
  message(FATAL_ERROR "${TOOL} could not draw the icons into ${theme}")
endif()
file(MAKE_DIRECTORY "${SITE}/icons")
foreach(size 32 48 256)
  file(COPY_FILE "${theme}/${size}x${size}/apps/talumen.png" "${SITE}/icons/talumen-${size}.png")
endforeach()
file(COPY_FILE "${theme}/scalable/apps/talumen.svg" "${SITE}/icons/talumen.svg")
file(REMOVE_RECURSE "${theme}")
file(GLOB names RELATIVE "${SITE}/data" "${SITE}/data/*.jpg" "${SITE}/data/*.obj" "${SITE}/data/*.ogg")
list(SORT names)
list(JOIN names "\n" lines)
file(WRITE "${SITE}/data/files.txt" "${lines}\n")
