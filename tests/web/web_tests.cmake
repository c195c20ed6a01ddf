# web_tests.cmake -- the web build's tests: the loudness against the native build's, and the page in three browser engines
set(TALUMEN_SITE_TRACK "${TALUMEN_SITE}/data/talumen.ogg")
add_test(NAME web_level_agreement
  COMMAND node "${CMAKE_SOURCE_DIR}/tests/web/level_agreement.mjs"
          "$<TARGET_FILE:level_points>" "${TALUMEN_NATIVE_BUILD}/tests/level_points" "${TALUMEN_SITE_TRACK}")
# The same on a chained track, whose second stream each build converts to the first one's layout.
add_test(NAME web_chained_track
  COMMAND "${TALUMEN_NATIVE_BUILD}/tests/chained_track" "${CMAKE_BINARY_DIR}/chained.ogg")
set_tests_properties(web_chained_track PROPERTIES FIXTURES_SETUP chainedTrack)
add_test(NAME web_level_agreement_chained
  COMMAND node "${CMAKE_SOURCE_DIR}/tests/web/level_agreement.mjs"
          "$<TARGET_FILE:level_points>" "${TALUMEN_NATIVE_BUILD}/tests/level_points" "${CMAKE_BINARY_DIR}/chained.ogg")
set_tests_properties(web_level_agreement_chained PROPERTIES FIXTURES_REQUIRED chainedTrack)

# The browser cases need puppeteer-core under tests/web/node_modules (npm ci there; scripts/test.sh
# does it), Chromium, and for the other two engines Xvfb, Firefox ESR and WebKitGTK's WebDriver
# (scripts/install-deps.sh --tests installs them); the runs start a PulseAudio null sink of their own.
if(NOT EXISTS "${CMAKE_SOURCE_DIR}/tests/web/node_modules/puppeteer-core")
  message(STATUS "tests/web/node_modules has no puppeteer-core: the browser tests are left out (npm ci in tests/web)")
  return()
endif()
set(TALUMEN_BROWSER_CASES
  chromium:stills chromium:runs chromium:seeks chromium:keys chromium:preview chromium:offline chromium:spoiled
  chromium:phone chromium:lost chromium:reruns chromium:export
  firefox:stills firefox:runs firefox:keys firefox:lost firefox:export
  webkit:stills webkit:runs webkit:keys webkit:lost)
foreach(pair ${TALUMEN_BROWSER_CASES})
  string(REPLACE ":" ";" parts "${pair}")
  list(GET parts 0 engine)
  list(GET parts 1 case)
  add_test(NAME web_${engine}_${case}
    COMMAND node "${CMAKE_SOURCE_DIR}/tests/web/browser_test.mjs" ${engine} ${case} "${TALUMEN_SITE}"
            "${TALUMEN_NATIVE_BUILD}/tools/talumen-render")
  set_tests_properties(web_${engine}_${case} PROPERTIES TIMEOUT 600)
endforeach()
