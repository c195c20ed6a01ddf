# site_data.cmake -- writes the site's data/, its list and the start screen's picture with the native data tool
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
file(GLOB names RELATIVE "${SITE}/data" "${SITE}/data/*.jpg" "${SITE}/data/*.obj" "${SITE}/data/*.ogg")
list(SORT names)
list(JOIN names "\n" lines)
file(WRITE "${SITE}/data/files.txt" "${lines}\n")
